#!/usr/bin/env bash
# shellcheck disable=SC2086,SC2206  # a point is "x y", split into two arguments on purpose
# The viewer in a real X window: it opens on the first costume with images,
# shows the crosshair, the image at its offsets (with its mask-coloured hole
# see-through) and the swatches; the arrows, Page Down and Page Up move;
# Escape ends it with status 0.
#   e2e_browse.sh VESTREL E2E_FIXTURE
set -euo pipefail
VESTREL=$1
FIXTURE_WRITER=$2
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/fixture.sh"
need_tools Xvfb xdotool import convert compare

"$FIXTURE_WRITER" "$WORK/fixture.lec"
install_xmessage_stub
start_xvfb
start_viewer "$WORK" "$WORK/fixture.lec"
find_window

# Costume 0 has no image: costume 1, table 0, slot 0 (red, up and left of
# the crossing) is shown first.
first_screen=($SPRITE $RED  $HOLE $BLACK  $VLINE $WHITE  $HLINE $WHITE  $QUAD $BLACK
              $SW5 $SWATCH5  $SW15 $SWATCH15  $SW16 $BLACK)
wait_screen "costume 1, table 0, slot 0" "${first_screen[@]}"

# Right passes over slot 1 (no image) to slot 2 (green, down and right).
press Right "slot 2" $QUAD $GREEN $SPRITE $BLACK $VLINE $WHITE $SW15 $SWATCH15
press Left "slot 0 again" "${first_screen[@]}"
# Up: table 1, drawn over the vertical line.
press Up "table 1" $BLUE_IN $BLUE $UNDER_BLUE $BLUE $SPRITE $BLACK $QUAD $BLACK
press Down "table 0 again" "${first_screen[@]}"

# Page Down passes over costume 2 (no image) to costume 3: 32 colours.
press Next "costume 3" $SPRITE $ORANGE $VLINE $WHITE $SW16 $SWATCH16_ROOM2 $SW31 $TEAL
# Page Up passes over costume 2 back to costume 1.
press Prior "costume 1 again" "${first_screen[@]}"

press_escape_to_exit
[[ ! -s "$WORK/xmessage.log" ]] || fail "unexpected message: $(cat "$WORK/xmessage.log")"
echo "PASS"
