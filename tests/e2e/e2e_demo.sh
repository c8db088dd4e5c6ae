#!/usr/bin/env bash
# The demo file that `make run` opens: the viewer shows its first costume
# and every costume after it with Page Down (one of them has no image and
# is passed over), each a different picture, and ends with status 0.
#   e2e_demo.sh VESTREL DEMO_LEC
set -euo pipefail
VESTREL=$1
DEMO=$2
source "$(dirname "$0")/lib.sh"
need_tools Xvfb xdotool import convert compare

[[ -s "$DEMO" ]] || fail "no demo file at $DEMO"
install_xmessage_stub
start_xvfb
start_viewer "$WORK" "$DEMO"
find_window

# Something is drawn near the crossing (the back buffer's (160, 120) is the
# window's (320, 288)): at least a few dozen pixels that are neither black
# nor the white of the lines, in the 120 x 120 window pixels above it.
drawn() {
    shot "$WORK/now.png" &&
        (($(convert "$WORK/now.png" -crop 120x120+260+168 +repage -fill black -opaque white \
            -fill white +opaque black -format '%[fx:int(mean*w*h+0.5)]' info:) > 40))
}
wait_until "the first costume" drawn
# Seven costumes, one without images: six pictures in all.
for n in 1 2 3 4 5; do
    press_for_change Next
    wait_until "costume $n drawn" drawn
done
press_escape_to_exit
[[ ! -s "$WORK/xmessage.log" ]] || fail "unexpected message: $(cat "$WORK/xmessage.log")"
echo "PASS"
