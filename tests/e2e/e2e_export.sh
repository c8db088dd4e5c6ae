#!/usr/bin/env bash
# shellcheck disable=SC2086,SC2206  # a point is "x y", split into two arguments on purpose
# F10, F11 and F12 in a real window: each writes its PCX files into the
# working directory before its alert opens, the alert closes with Enter
# and gives back the picture it covered, and the files hold the image.
#   e2e_export.sh VESTREL E2E_FIXTURE
set -euo pipefail
VESTREL=$1
FIXTURE_WRITER=$2
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/fixture.sh"
need_tools Xvfb xdotool import convert compare identify

"$FIXTURE_WRITER" "$WORK/fixture.lec"
OUT="$WORK/out"
mkdir -p "$OUT"
install_xmessage_stub
start_xvfb
start_viewer "$OUT" "$WORK/fixture.lec"
find_window
# Costume 1, table 0, slot 0 (slot 1 has no image, slot 2 is green; table
# 1 holds one blue image).
wait_screen "costume 1, table 0, slot 0" $SPRITE $RED $HOLE $BLACK $SW15 $SWATCH15
shot_stable "$WORK/shown.png"

# The screen differs from the picture shown before the key by more than a
# few pixels: the alert is open.
alert_open() { shot "$WORK/now.png" && (($(differing_pixels "$WORK/shown.png" "$WORK/now.png") > 500)); }
alert_closed() { shot "$WORK/now.png" && (($(differing_pixels "$WORK/shown.png" "$WORK/now.png") == 0)); }

# export KEY FILES...: presses KEY, waits for the alert, checks that the
# directory holds exactly FILES, closes the alert with Enter and waits for
# the picture to come back. A key lost in the instant the viewer empties
# its keyboard buffer is pressed again (a second Enter on the viewer does
# nothing).
export_with() {
    local key=$1
    shift
    rm -f "$OUT"/*
    local deadline=$((SECONDS + E2E_TIMEOUT)) resend=$((SECONDS + E2E_TIMEOUT / 3))
    xdotool key --clearmodifiers "$key"
    until alert_open; do
        kill -0 "$VIEWER_PID" 2>/dev/null || fail "the viewer ended after $key"
        ((SECONDS < deadline)) || fail "no alert after $key"
        if ((SECONDS >= resend)) && [[ -z "$(ls -A "$OUT")" ]]; then
            xdotool key --clearmodifiers "$key"
            resend=$deadline
        fi
        sleep 0.1
    done
    local want got
    want=$(printf '%s\n' "$@" | sort)
    got=$(find "$OUT" -mindepth 1 -printf "%f\n" | sort)
    [[ "$got" == "$want" ]] || fail "after $key the directory holds [$got], expected [$want]"
    deadline=$((SECONDS + E2E_TIMEOUT))
    resend=$((SECONDS + E2E_TIMEOUT / 3))
    xdotool key --clearmodifiers Return
    until alert_closed; do
        kill -0 "$VIEWER_PID" 2>/dev/null || fail "the viewer ended in the alert of $key"
        ((SECONDS < deadline)) || fail "the alert of $key did not close, or left the screen changed"
        if ((SECONDS >= resend)); then
            xdotool key --clearmodifiers Return
            resend=$deadline
        fi
        sleep 0.1
    done
}

# check_pcx FILE WIDTH HEIGHT X Y RRGGBB ...: size and pixels read back.
check_pcx() {
    local file="$OUT/$1" size
    size=$(identify -format '%wx%h' "$file")
    [[ "$size" == "$2x$3" ]] || fail "$1 is $size, expected $2x$3"
    shift 3
    check_pixels "$file" "$@" || fail "$(basename "$file"): $LAST_MISMATCH"
}

export_with F10 c1_t0_i0.pcx
# The image as decoded: red, with its hole in the mask colour (PCX has no
# transparency).
check_pcx c1_t0_i0.pcx 40 30  5 5 $RED  20 15 $MAGENTA  39 29 $RED

export_with F11 c1_t0_i0.pcx c1_t0_i2.pcx
check_pcx c1_t0_i2.pcx 40 30  20 15 $GREEN

export_with F12 c1_t0_i0.pcx c1_t0_i2.pcx c1_t1_i0.pcx
check_pcx c1_t0_i0.pcx 40 30  20 15 $MAGENTA
check_pcx c1_t1_i0.pcx 30 20  15 10 $BLUE

# The export moved nothing: Right still goes from slot 0 to slot 2.
press Right "slot 2" $QUAD $GREEN $SPRITE $BLACK
press_escape_to_exit
[[ ! -s "$WORK/xmessage.log" ]] || fail "unexpected message: $(cat "$WORK/xmessage.log")"
echo "PASS"
