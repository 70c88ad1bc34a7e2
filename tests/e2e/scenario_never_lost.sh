#!/usr/bin/env bash
# Nothing an earlier run left hidden is lost to what happens around a start, and nothing shown
# again is taken back:
# - a window hidden by the hotkey while a start-up message box is up does not cost the record of a
#   killed copy: after Exit both windows are back;
# - a record retyped so that it cannot be read is left exactly as it is, and the next run's hides
#   go to a record of their own, which the run after takes back;
# - windows the guardian showed after a kill are not taken back by the next start: one the user
#   has minimised since stays minimised through that run's Exit;
# - a session query that no end follows (any program may send one) leaves the hotkey working: the
#   window it hides is hidden and comes back at Exit.
source "$(dirname "$0")/lib.sh"
e2e_begin never_lost

MAIN_CLASS=QuenvixMainForm
WM_QUERYENDSESSION=0x0011

hide_by_hotkey() {
    to_front "$1"
    chord Control_L KP_Multiply
    wait_until 10 window_hidden "$1"
}
exit_quenvix() {
    tray_menu_choose "$TRAY_EXIT"
    answer_confirmation OK
    wait_until 20 quenvix_ended || fail "Exit did not end the program ($1)"
}
record_name() {
    wine reg query "$SETTINGS_KEY\\Hidden" 2>/dev/null | tr -d '\r' |
        awk '$1 ~ /^Windows\.[0-9]+$/ { print $1; exit }'
}

open_windows normal:First normal:Second normal:Third

# ---- a hide while a start-up box is up ---------------------------------------------------------
start_quenvix_in_tray
hide_by_hotkey First || fail "the hotkey did not hide First"
kill_quenvix_and_guardian
window_hidden First || fail "First came back without anyone to bring it"
wine reg add "$SETTINGS_KEY\\Main" /v Startup /t REG_DWORD /d 1 /f >/dev/null 2>&1
start_quenvix
wait_until 20 has_dialog Quenvix || fail "no message for a Startup value of the wrong type"
hide_by_hotkey Second || fail "the hotkey did not hide Second while the start-up box was up"
wait_until 10 tw isforeground Quenvix || tw foreground Quenvix
answer_message_box Quenvix
wait_until 30 window_hidden "$MAIN_CAPTION" || fail "the program did not go on into the tray"
TRAY_POINT=""
wait_until 30 tray_icon_shown || fail "no tray icon after the start-up box"
exit_quenvix "start-up box"
wait_until 15 window_visible First || fail "First was lost: a hide during the start-up box overwrote its record"
wait_until 15 window_visible Second || fail "Second did not come back at Exit"
wine reg delete "$SETTINGS_KEY\\Main" /v Startup /f >/dev/null 2>&1

# ---- a record that cannot be read --------------------------------------------------------------
start_quenvix_in_tray
hide_by_hotkey First || fail "the hotkey did not hide First (unreadable record)"
kill_quenvix_and_guardian
name=$(record_name)
[ -n "$name" ] || fail "no record after the kill"
wine reg add "$SETTINGS_KEY\\Hidden" /v "$name" /t REG_BINARY /d 0102 /f >/dev/null 2>&1
start_quenvix_in_tray
hide_by_hotkey Second || fail "the hotkey did not hide Second after the record was retyped"
# The record itself is the promise here: left exactly as it is.
wine reg query "$SETTINGS_KEY\\Hidden" /v "$name" 2>/dev/null | grep -q REG_BINARY ||
    fail "the unreadable record was overwritten"
kill_quenvix_and_guardian
start_quenvix_in_tray
exit_quenvix "unreadable record"
wait_until 15 window_visible Second || fail "Second, recorded beside the unreadable record, was lost"
wine reg query "$SETTINGS_KEY\\Hidden" /v "$name" 2>/dev/null | grep -q REG_BINARY ||
    fail "the unreadable record did not survive the next start"
# First is named only in the record that cannot be read: its program brings it back itself.
tw show First
wait_until 10 window_visible First || fail "First could not be shown by its program"

# ---- what the guardian showed is not taken back ------------------------------------------------
wine reg delete "$SETTINGS_KEY\\Hidden" /f >/dev/null 2>&1
start_quenvix_in_tray
hide_by_hotkey Third || fail "the hotkey did not hide Third"
wait_until 15 guardian_running || fail "no guardian"
kill -9 "$QUENVIX_PID"
wait_until 10 quenvix_ended || fail "Quenvix could not be killed"
wait_until 15 window_visible Third || fail "the guardian did not show Third"
tw show Third min
wait_until 10 state_is Third "1 1 1 0" || fail "Third could not be minimised"
start_quenvix_in_tray
read_tray_menu
[ -z "$(listed_texts)" ] || fail "the next start lists windows on the screen: $(listed_texts | tr '\n' ',')"
exit_quenvix "after the guardian"
# Negative check: Exit has ended the program; a restore it queued would have reached Third by the
# time the window's own thread has answered one more question.
sleep 1
[ "$(window_state Third)" = "1 1 1 0" ] || fail "Third was taken back and restored at Exit: $(window_state Third)"

# ---- a session query with no end ---------------------------------------------------------------
start_quenvix_in_tray
tw send "$MAIN_CLASS" "$WM_QUERYENDSESSION" 0 0 --out "$(winepath -w "$WORK/answer.txt" 2>/dev/null)" ||
    fail "WM_QUERYENDSESSION got no answer"
hide_by_hotkey First || fail "the hotkey did nothing after a session query with no end"
listed First || fail "First, hidden after the query, is not listed"
exit_quenvix "session query"
wait_until 15 window_visible First || fail "First, hidden after the query, did not come back at Exit"
pass
