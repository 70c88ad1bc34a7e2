#!/usr/bin/env bash
# One copy per desktop: a second copy says so, brings the first forward and ends with exit code 0
# after OK; the first copy goes on; once the first has ended, a new start runs as a first copy,
# which takes options through its pipe and not through window messages.
source "$(dirname "$0")/lib.sh"
e2e_begin single_instance

reg_has_key "$SETTINGS_KEY" && fail "a fresh prefix already has the program's key"
start_quenvix
wait_until 20 has_window "$MAIN_CAPTION" || fail "the first copy shows no main window"
reg_has_key "$SETTINGS_KEY" || fail "the first start did not create the program's key"
# First start: the automatic update check asks once, from the tray; declining it leaves it there.
answer_confirmation Cancel
[ -n "$(reg_value "$SETTINGS_KEY\\Main" GUID)" ] || fail "no installation identifier was written"

wine "$QUENVIX_EXE" >"$WORK/second.log" 2>&1 &
second=$!
E2E_PIDS+=("$second")
wait_until 20 has_dialog "Quenvix" || fail "the second copy shows no message"
sleep 1
kill -0 "$second" 2>/dev/null || fail "the second copy ended before OK was pressed"
screenshot single_instance_message
answer_message_box Quenvix
wait_until_not 20 kill -0 "$second" 2>/dev/null || fail "the second copy did not end after OK"
wait "$second"
code=$?
[ "$code" -eq 0 ] || fail "the second copy ended with exit code $code"
kill -0 "$QUENVIX_PID" 2>/dev/null || fail "the first copy ended"
# The user started it again: the first copy shows its settings window (see scenario_second_start).
wait_until 10 window_visible "$MAIN_CAPTION" || fail "the first copy did not show its main window"

# A close request while the window sits in the tray ends the program at once. (Sent into the
# tray as its minimise button does.)
tw send QuenvixMainForm 0x0112 0xF020 0 || true
wait_until 20 window_hidden "$MAIN_CAPTION" || fail "the main window did not go into the tray"
# (as another program asks a window to close: taskkill without /F posts WM_CLOSE)
tw post QuenvixMainForm 0x0010 0 0
wait_until 20 quenvix_ended || fail "the first copy did not end on a close request"
wait "$QUENVIX_PID"
code=$?
[ "$code" -eq 0 ] || fail "the first copy ended with exit code $code"

start_quenvix
wait_until 20 has_window "$MAIN_CAPTION" || fail "a new start after the first ended did not run as a first copy"
sleep 2
has_dialog "Quenvix" && fail "a new start still reports that the program is running"

# Options reach the running copy through its pipe only: a well-formed request of the old window
# message ("--show") is answered "no" and changes nothing, the same option from a second
# quenvix.exe works, and "--exit" returns only once the copy has ended.
wait_until 30 window_hidden "$MAIN_CAPTION" || fail "the new copy did not go into the tray"
tw copydata QuenvixMainForm 4 || fail "WM_COPYDATA was not refused ($?)"
sleep 2
window_hidden "$MAIN_CAPTION" || fail "a request sent as WM_COPYDATA was carried out"
timeout 30 wine "$QUENVIX_EXE" --show >"$WORK/show.log" 2>&1 || fail "--show ended with $?"
wait_until 10 window_visible "$MAIN_CAPTION" || fail "--show did not show the settings window"
timeout 30 wine "$QUENVIX_EXE" --exit >"$WORK/exit.log" 2>&1 || fail "--exit ended with $?"
has_window "$MAIN_CAPTION" && fail "--exit returned while the copy still had its window"
wait_until 10 quenvix_ended || fail "--exit did not end the program"
pass
