#!/usr/bin/env bash
# While a hidden program's thread is hung, another window is hidden by the hotkey and brought back
# from the tray menu; the hung one stays listed until its thread resumes and hides it, and Exit
# brings both back.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/stalls.sh"
e2e_begin hung_hide

start_quenvix_in_tray
open_windows hung:Hung --hang 25
wait_until 20 negate tw answers Hung || fail "the hung window still answers"  # its thread is asleep now
tray_menu_choose "$TRAY_PANIC"
wait_until 10 listed Hung || fail "Panic! did not take the hung window"
open_windows normal:Beta
second_window_round_trip $((TRAY_FIRST_ENTRY + 1))
window_visible Hung || fail "Hung stopped showing before its thread resumed"
listed Hung || fail "Hung, with its hide still queued, was taken for a window shown again"

wait_until 40 window_hidden Hung || fail "Hung was not hidden once its thread resumed"
listed Hung || fail "Hung left the list once hidden"

hide_by_hotkey Beta
wait_until 10 window_hidden Beta || fail "Beta was not hidden the second time"
exit_from_tray
wait_until 15 window_visible Hung || fail "Exit did not bring Hung back"
wait_until 15 window_visible Beta || fail "Exit did not bring Beta back"
[ "$(window_state Hung)" = "1 1 0 0" ] || fail "Hung is not back as it was: $(window_state Hung)"
pass
