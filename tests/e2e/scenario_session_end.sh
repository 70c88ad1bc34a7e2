#!/usr/bin/env bash
# The session's end as the system drives it, the messages sent from another process: asked
# whether the session may end, Quenvix answers yes and shows the hidden windows in their former
# states, still listed; told the end was cancelled, it hides them again; asked again and told the
# end goes ahead (Restart Manager's close of a program), it leaves every window shown and ends
# with exit code 0. Posted by anyone, neither message does a thing.
source "$(dirname "$0")/lib.sh"
e2e_begin session_end

WM_QUERYENDSESSION=0x0011
WM_ENDSESSION=0x0016
ENDSESSION_CLOSEAPP=0x1
MAIN_CLASS=QuenvixMainForm
WINDOWS=(Alpha Maxi Mini)

all_hidden() {
    local w
    for w in "${WINDOWS[@]}"; do window_hidden "$w" || return 1; done
}
# Shown, each in the state it had before it was first hidden.
all_back_as_they_were() {
    [ "$(window_state Alpha)" = "1 1 0 0" ] && [ "$(window_state Maxi)" = "1 1 0 1" ] &&
        [ "$(window_state Mini)" = "1 1 1 0" ]
}
# Sends MSG WPARAM LPARAM to the settings window and prints its answer.
send_to_quenvix() {
    rm -f "$WORK/answer.txt"
    tw send "$MAIN_CLASS" "$@" --out "$(winepath -w "$WORK/answer.txt" 2>/dev/null)" || return 1
    tr -d '\r\n' <"$WORK/answer.txt"
}

start_quenvix_in_tray
open_windows normal:Alpha max:Maxi min:Mini
tray_menu_choose "$TRAY_PANIC"
wait_until 15 all_hidden || fail "Panic! did not hide the test windows"
# all_listed: the tray menu, read now, lists every test window.
all_listed() {
    local w
    read_tray_menu
    for w in "${WINDOWS[@]}"; do listed_texts | grep -qxF "$w" || return 1; done
}
all_listed || fail "Panic! did not list the test windows: $(listed_texts | tr '\n' ';')"

tw post "$MAIN_CLASS" "$WM_QUERYENDSESSION" 0 0 || fail "could not post WM_QUERYENDSESSION"
tw post "$MAIN_CLASS" "$WM_ENDSESSION" 1 "$ENDSESSION_CLOSEAPP" || fail "could not post WM_ENDSESSION"
# Anything they did would be done by the time a message sent after them is answered.
tw answers "$MAIN_CAPTION" || fail "Quenvix does not answer"
sleep 1
all_hidden || fail "a posted session-end message showed hidden windows"
quenvix_ended && fail "a posted WM_ENDSESSION ended Quenvix"

answer=$(send_to_quenvix "$WM_QUERYENDSESSION" 0 0) || fail "WM_QUERYENDSESSION got no answer"
[ "$answer" = 1 ] || fail "WM_QUERYENDSESSION was answered $answer"
wait_until 15 all_back_as_they_were || fail "the query did not show the windows as they were:" \
    "$(window_state Alpha) / $(window_state Maxi) / $(window_state Mini)"
all_listed || fail "shown for the query, the windows left the list: $(listed_texts | tr '\n' ';')"

# Cancelled: hidden again, still listed, and "Restore all" brings them back later.
send_to_quenvix "$WM_ENDSESSION" 0 0 >/dev/null || fail "WM_ENDSESSION (cancelled) got no answer"
wait_until 15 all_hidden || fail "a cancelled end did not hide the windows again"
quenvix_ended && fail "a cancelled end ended Quenvix"
all_listed || fail "after a cancelled end the windows are not listed: $(listed_texts | tr '\n' ';')"
tray_menu_choose "$TRAY_RESTORE_ALL"
wait_until 15 all_back_as_they_were || fail "Restore all did not bring the windows back as they were"

# Hidden once more; this time the end goes ahead.
tray_menu_choose "$TRAY_PANIC"
wait_until 15 all_hidden || fail "the second Panic! did not hide the test windows"
answer=$(send_to_quenvix "$WM_QUERYENDSESSION" 0 "$ENDSESSION_CLOSEAPP") ||
    fail "WM_QUERYENDSESSION (close) got no answer"
[ "$answer" = 1 ] || fail "WM_QUERYENDSESSION (close) was answered $answer"
wait_until 15 all_back_as_they_were || fail "the second query did not show the windows"
send_to_quenvix "$WM_ENDSESSION" 1 "$ENDSESSION_CLOSEAPP" >/dev/null ||
    fail "WM_ENDSESSION (close) got no answer"
wait_until 20 quenvix_ended || fail "Quenvix did not end with the session"
wait "$QUENVIX_PID"
rc=$?
[ "$rc" -eq 0 ] || fail "exit code $rc"
all_back_as_they_were || fail "not every window is back after the end"
[ -z "$(recovery_record)" ] || fail "the end left the recovery record filled"
pass
