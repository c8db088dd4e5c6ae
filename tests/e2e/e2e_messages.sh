#!/usr/bin/env bash
# The real program's messages and exit statuses, in a real X session (the
# message box is the library's xmessage, stood in for here) and with no
# display at all (standard error, and never a crash).
#   e2e_messages.sh VESTREL
set -euo pipefail
VESTREL=$1
source "$(dirname "$0")/lib.sh"
need_tools Xvfb xdotool

# run_status DIR ARGS...: runs the viewer to its end and prints its status.
run_status() {
    local status=0
    "$VESTREL" "$@" 2>"$WORK/viewer.err" || status=$?
    echo "$status"
}

# expect_message STATUS TEXT ARGS...: runs the viewer under X and checks its
# status and the one message box it showed.
expect_message() {
    local want=$1 text=$2
    shift 2
    rm -f "$WORK/xmessage.log"
    local got
    got=$(run_status "$@")
    [[ "$got" == "$want" ]] || fail "vestrel $*: status $got, expected $want"
    [[ -f "$WORK/xmessage.log" ]] || fail "vestrel $*: no message shown"
    [[ $(grep -c '^--$' "$WORK/xmessage.log") -eq 1 ]] || fail "vestrel $*: not exactly one message: $(cat "$WORK/xmessage.log")"
    grep -qxF -- "-center" "$WORK/xmessage.log" || fail "vestrel $*: unexpected xmessage call: $(cat "$WORK/xmessage.log")"
    grep -qxF -- "$text" "$WORK/xmessage.log" || fail "vestrel $*: message is not \"$text\": $(cat "$WORK/xmessage.log")"
}

# No display: DISPLAY unset. The message goes to standard error; the
# status is 1, not a signal.
expect_stderr() {
    local text=$1
    shift
    local got
    got=$(DISPLAY= && unset DISPLAY && run_status "$@")
    [[ "$got" == 1 ]] || fail "vestrel $* without a display: status $got, expected 1; stderr: $(cat "$WORK/viewer.err")"
    grep -qF -- "$text" "$WORK/viewer.err" || fail "vestrel $* without a display: stderr is: $(cat "$WORK/viewer.err")"
}
install_xmessage_stub
expect_stderr "Syntax is vestrel <lecfile>"
expect_stderr "You need a DirectX compatible video card capable of true/high color" "$WORK/missing.lec"
[[ ! -e "$WORK/xmessage.log" ]] || fail "a message box was opened without a display"

start_xvfb
expect_message 1 "Syntax is vestrel <lecfile>"
expect_message 1 "Syntax is vestrel <lecfile>" one two
expect_message 1 "Cannot open LEC file" "$WORK/missing.lec"
: >"$WORK/empty.lec"
expect_message 1 "This is not a valid LEC file" "$WORK/empty.lec"
echo "PASS"
