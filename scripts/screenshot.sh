#!/usr/bin/env bash
# Makes docs/screenshot.png, the picture in the README: the viewer on the
# demo file in its own Xvfb, on the wizard's third frame (costume 1,
# table 0, image 2), the whole 640 x 480 window.
#   scripts/screenshot.sh            builds into build/ first
#   BUILD=dir scripts/screenshot.sh  uses (and builds) another build dir
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$root/build}
cmake -S "$root" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" --target vestrel demo -j "${JOBS:-2}" >/dev/null

VESTREL=$BUILD/vestrel
source "$root/tests/e2e/lib.sh"
need_tools Xvfb xdotool import convert compare

install_xmessage_stub
start_xvfb
start_viewer "$WORK" "$BUILD/demo.lec"
find_window
shot_stable "$WORK/first.png"
press_for_change Next    # the wizard
press_for_change Right
press_for_change Right   # the spell at its brightest
shot_stable "$WORK/shot.png"
size=$(identify -format '%wx%h' "$WORK/shot.png")
[[ "$size" == 640x480 ]] || fail "the window is $size, not 640x480"
mkdir -p "$root/docs"
convert "$WORK/shot.png" -strip "png:$root/docs/screenshot.png"
press_escape_to_exit
[[ ! -s "$WORK/xmessage.log" ]] || fail "unexpected message: $(cat "$WORK/xmessage.log")"
echo "wrote docs/screenshot.png"
