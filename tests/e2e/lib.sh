# shellcheck shell=bash disable=SC2317  # helpers are called through wait_until
# Shared by the end-to-end tests and scripts/screenshot.sh: a private X
# server, a stand-in for xmessage, the viewer's window, keys, screenshots
# and pixels. Source it from a bash script running with `set -euo pipefail`.
#
# Everything waits by polling for the effect (a window, a file, a change
# on screen) with a generous limit, never by a fixed sleep, so that a slow,
# busy machine only makes a run slower.

E2E_TIMEOUT=${E2E_TIMEOUT:-60}  # seconds to wait for any one effect
XVFB_PID=
VIEWER_PID=
WORK=$(mktemp -d "${TMPDIR:-/tmp}/vestrel-e2e.XXXXXX")

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Tools that these tests drive; without them the test is skipped (77) when
# run by hand, and fails under CI, where scripts/install-deps.sh must have
# installed them: a skip there would hide a missing install step.
need_tools() {
    local t
    for t in "$@"; do
        if ! command -v "$t" >/dev/null; then
            [ -n "${CI:-}" ] && fail "$t is not installed"
            echo "SKIP: $t is not installed" >&2
            exit 77
        fi
    done
}

# Ends what this script started, by its own process ids, and removes the
# work directory; runs on every way out.
cleanup() {
    local status=$?
    if [[ -n "$VIEWER_PID" ]] && kill -0 "$VIEWER_PID" 2>/dev/null; then
        kill -KILL "$VIEWER_PID" 2>/dev/null || true
        wait "$VIEWER_PID" 2>/dev/null || true
    fi
    if [[ -n "$XVFB_PID" ]] && kill -0 "$XVFB_PID" 2>/dev/null; then
        kill -TERM "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
    if [[ $status -ne 0 && -n "${KEEP_FAILED:-}" ]]; then
        echo "work directory kept: $WORK" >&2
    else
        rm -rf "$WORK"
    fi
    exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# wait_until DESCRIPTION COMMAND...: polls COMMAND until it succeeds.
wait_until() {
    local what=$1
    shift
    local deadline=$((SECONDS + E2E_TIMEOUT))
    until "$@"; do
        ((SECONDS < deadline)) || fail "timed out after ${E2E_TIMEOUT}s waiting for $what"
        sleep 0.1
    done
}

# A stand-in for xmessage, first on PATH: the library shows its messages
# with xmessage and waits for it to end, so a real one would wait for a
# click that never comes. This one records its arguments (one per line,
# then a line "--") in $WORK/xmessage.log and answers as if OK (101) was
# pressed.
install_xmessage_stub() {
    mkdir -p "$WORK/bin"
    cat >"$WORK/bin/xmessage" <<EOF
#!/bin/sh
for a in "\$@"; do printf '%s\n' "\$a"; done >>"$WORK/xmessage.log"
echo -- >>"$WORK/xmessage.log"
exit 101
EOF
    chmod +x "$WORK/bin/xmessage"
    PATH="$WORK/bin:$PATH"
    export PATH
}

# Starts Xvfb on a free display (it picks the number and tells it through
# -displayfd) at 24 bits per pixel, and exports DISPLAY.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$WORK/display" 2>"$WORK/xvfb.log" &
    XVFB_PID=$!
    display_ready() {
        kill -0 "$XVFB_PID" 2>/dev/null || fail "Xvfb ended: $(cat "$WORK/xvfb.log")"
        [[ -s "$WORK/display" ]]
    }
    wait_until "Xvfb to start" display_ready
    DISPLAY=":$(head -n1 "$WORK/display")"
    export DISPLAY
    server_answers() { xdotool getmouselocation >/dev/null 2>&1; }
    wait_until "the X server to answer" server_answers
}

# Starts the viewer in the background in directory $1 with the rest as
# arguments; its standard error goes to $WORK/viewer.err.
start_viewer() {
    local dir=$1
    shift
    (cd "$dir" && exec "$VESTREL" "$@") 2>"$WORK/viewer.err" &
    VIEWER_PID=$!
}

# Waits for the viewer to end and checks its exit status.
expect_viewer_status() {
    local want=$1
    viewer_gone() { ! kill -0 "$VIEWER_PID" 2>/dev/null; }
    wait_until "the viewer to end" viewer_gone
    local got=0
    wait "$VIEWER_PID" || got=$?
    VIEWER_PID=
    [[ $got -eq $want ]] || fail "exit status $got, expected $want; stderr: $(cat "$WORK/viewer.err")"
}

# Presses Escape and checks that the viewer ends with status 0; like
# press, it presses once more if the key seems lost.
press_escape_to_exit() {
    xdotool key --clearmodifiers Escape
    local resend=$((SECONDS + E2E_TIMEOUT / 3))
    while kill -0 "$VIEWER_PID" 2>/dev/null && ((SECONDS < resend)); do sleep 0.1; done
    if kill -0 "$VIEWER_PID" 2>/dev/null; then xdotool key --clearmodifiers Escape || true; fi
    expect_viewer_status 0
}

# Finds the viewer's window by its title, gives it the keyboard and sets
# WINDOW.
find_window() {
    window_up() {
        kill -0 "$VIEWER_PID" 2>/dev/null || fail "the viewer ended early: $(cat "$WORK/viewer.err")"
        WINDOW=$(xdotool search --onlyvisible --name '^Vestrel v1\.5$' 2>/dev/null | head -n1)
        [[ -n "$WINDOW" ]]
    }
    wait_until "the viewer's window" window_up
    xdotool mousemove --window "$WINDOW" 320 240
    xdotool windowfocus --sync "$WINDOW" 2>/dev/null || xdotool windowfocus "$WINDOW"
}

# Writes a screenshot of the window to file $1.
shot() {
    import -window "$WINDOW" "$1" 2>/dev/null
}

# Writes a screenshot to file $1 once two in a row are the same, so that
# it never holds a picture that is still being drawn.
shot_stable() {
    local deadline=$((SECONDS + E2E_TIMEOUT))
    shot "$1"
    until shot "$WORK/stable.png" && [[ "$(differing_pixels "$1" "$WORK/stable.png")" == 0 ]]; do
        ((SECONDS < deadline)) || fail "the screen never settled"
        cp "$WORK/stable.png" "$1"
    done
}

# Prints the colour of pixel (x, y) of image file $1 as RRGGBB.
pixel() {
    convert "$1" -crop "1x1+$2+$3" +repage -depth 8 txt:- |
        sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | head -n1 | tr a-f A-F
}

# check_pixels FILE X Y RRGGBB [X Y RRGGBB ...]: true when every pixel has
# its colour; LAST_MISMATCH tells the first that did not.
check_pixels() {
    local file=$1
    shift
    while (($# >= 3)); do
        local got
        got=$(pixel "$file" "$1" "$2")
        if [[ "$got" != "$3" ]]; then
            LAST_MISMATCH="($1, $2) is $got, expected $3"
            return 1
        fi
        shift 3
    done
}

# wait_screen DESCRIPTION X Y RRGGBB ...: polls screenshots until all the
# pixels show their colours; the last screenshot is left in $WORK/now.png.
wait_screen() {
    local what=$1
    shift
    LAST_MISMATCH=
    local deadline=$((SECONDS + E2E_TIMEOUT))
    until shot "$WORK/now.png" && check_pixels "$WORK/now.png" "$@"; do
        if ((SECONDS >= deadline)); then
            cp "$WORK/now.png" "$WORK/failed.png" 2>/dev/null || true
            fail "timed out waiting for $what: $LAST_MISMATCH"
        fi
        kill -0 "$VIEWER_PID" 2>/dev/null || fail "the viewer ended while waiting for $what: $(cat "$WORK/viewer.err")"
        sleep 0.1
    done
}

# Number of pixels in which two screenshots differ.
differing_pixels() {
    compare -metric AE "$1" "$2" null: 2>&1 >/dev/null | sed 's/[^0-9].*//'
}

# press KEY DESCRIPTION X Y RRGGBB ...: presses the key, then waits for the
# screen to show the pixels. The viewer empties its keyboard buffer just
# before it waits for a key, so a key that arrives in that instant is
# lost; if after a long while the screen is still exactly as before the
# key, the key is pressed once more.
press() {
    local key=$1 what=$2
    shift 2
    shot_stable "$WORK/before.png"
    xdotool key --clearmodifiers "$key"
    local resend=$((SECONDS + E2E_TIMEOUT / 3)) deadline=$((SECONDS + E2E_TIMEOUT))
    LAST_MISMATCH=
    until shot "$WORK/now.png" && check_pixels "$WORK/now.png" "$@"; do
        kill -0 "$VIEWER_PID" 2>/dev/null || fail "the viewer ended after $key: $(cat "$WORK/viewer.err")"
        if ((SECONDS >= deadline)); then
            cp "$WORK/now.png" "$WORK/failed.png" 2>/dev/null || true
            fail "timed out waiting for $what after $key: $LAST_MISMATCH"
        fi
        if ((SECONDS >= resend)) && [[ "$(differing_pixels "$WORK/before.png" "$WORK/now.png")" == 0 ]]; then
            xdotool key --clearmodifiers "$key"
            resend=$deadline
        fi
        sleep 0.1
    done
}

# press_for_change KEY: presses the key and waits for the screen to change
# (pressing once more, as press does, if it seems lost).
press_for_change() {
    local key=$1
    shot_stable "$WORK/before.png"
    xdotool key --clearmodifiers "$key"
    local deadline=$((SECONDS + E2E_TIMEOUT)) resend=$((SECONDS + E2E_TIMEOUT / 3))
    until shot "$WORK/now.png" && (($(differing_pixels "$WORK/before.png" "$WORK/now.png") > 0)); do
        kill -0 "$VIEWER_PID" 2>/dev/null || fail "the viewer ended after $key: $(cat "$WORK/xmessage.log" 2>/dev/null)"
        ((SECONDS < deadline)) || fail "$key changed nothing on screen"
        if ((SECONDS >= resend)); then
            xdotool key --clearmodifiers "$key"
            resend=$deadline
        fi
        sleep 0.1
    done
}

# The back buffer is 320 x 200 and fills the 640 x 480 window: pixel
# (x, y) of the back buffer covers window columns 2x, 2x + 1 and about
# 2.4 rows from 2.4y. These give the window pixel in the middle of it.
wx() { echo $((2 * $1)); }
wy() { echo $(((24 * $1 + 12) / 10)); }
