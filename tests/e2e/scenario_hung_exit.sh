#!/usr/bin/env bash
# Exit while a hidden window's thread is hung: the program ends promptly, the other hidden window
# is back at once, and the hung one comes back as it was once its thread resumes.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/stalls.sh"
e2e_begin hung_exit

start_quenvix_in_tray
open_windows hung:Hung --hang 45
hang_ends=$((SECONDS + 45))
wait_until 20 negate tw answers Hung || fail "the hung window still answers"  # its thread is asleep now
tray_menu_choose "$TRAY_PANIC"
wait_until 10 listed Hung || fail "Panic! did not take the hung window"
open_windows normal:Beta
second_window_round_trip $((TRAY_FIRST_ENTRY + 1))
hide_by_hotkey Beta
wait_until 10 window_hidden Beta || fail "Beta was not hidden the second time"
[ $SECONDS -lt "$hang_ends" ] || fail "the machine was too slow: Hung woke up before Exit"

exit_from_tray
wait_until 15 window_visible Beta || fail "Exit did not bring Beta back"
[ "$(recovery_record)" = "" ] || fail "Exit left the recovery record filled"
# Its commands wait in its queue: hide, minimise, hide, then the restore. Once it has run them
# (it answers again) it is back where it was.
wait_until 60 tw answers Hung || fail "Hung never woke up"
[ "$(window_state Hung)" = "1 1 0 0" ] || fail "Hung is not back as it was: $(window_state Hung)"
pass
