#!/usr/bin/env bash
# The settings key deleted while windows are hidden (a cleaner, the user): the next hide makes it
# again and records every window hidden, so a kill of both Quenvix and its guardian still loses
# none; the next start takes them back and Exit brings them all back.
source "$(dirname "$0")/lib.sh"
e2e_begin deleted_key


start_quenvix_in_tray
wait_until 15 guardian_running || fail "Quenvix started no guardian"
open_windows normal:Early
tray_menu_choose "$TRAY_PANIC"
wait_until 15 window_hidden Early || fail "Panic! did not hide Early"

wine reg delete "$SETTINGS_KEY" /f >/dev/null 2>&1
reg_has_key "$SETTINGS_KEY" && fail "the settings key could not be deleted"
open_windows max:Late
tray_menu_choose "$TRAY_PANIC"
wait_until 15 window_hidden Late || fail "Panic! did not hide Late after the key was deleted"
record_names_both() { r=$(recovery_record); [ "$(printf '%s\n' "$r" | grep -c .)" -ge 2 ]; }
wait_until 10 record_names_both || fail "the record was not written again: '$(recovery_record)'"

kill_quenvix_and_guardian
sleep 1
window_hidden Early && window_hidden Late || fail "the windows came back without anyone to bring them"

start_quenvix_in_tray
read_tray_menu
for w in Early Late; do listed_texts | grep -qxF "$w" || fail "$w is not listed after the new start: $(listed_texts | tr '\n' ';')"; done
tray_menu_choose "$TRAY_EXIT"
answer_confirmation OK
wait_until 20 quenvix_ended || fail "Exit did not end the program"
wait_until 15 window_visible Early || fail "Early was lost with the deleted key"
wait_until 15 window_visible Late || fail "Late was lost with the deleted key"
[ "$(window_state Late)" = "1 1 0 1" ] || fail "Late is not back maximised: $(window_state Late)"
pass
