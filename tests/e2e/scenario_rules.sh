#!/usr/bin/env bash
# A stored "appear" rule by window class hides the matching windows by itself: one already open
# when Quenvix starts and one opened later, both into the hidden list; other windows are left
# alone, and a window the user brought back is not hidden again while it lives, not even after a
# restart of Quenvix. A caption rule stored after a gap in the numbering, with a blank after its
# text, takes a window that opens as "Loading" and is named a moment later. A rule added on the
# Rules page (its tab clicked, its Add button clicked, the caption typed into the field) is stored
# at once and works after a restart.
source "$(dirname "$0")/lib.sh"
e2e_begin rules

wine reg add "$SETTINGS_KEY\\Rules" /v 1 /d "$(printf '1\tappear\t\tQuenvixTestNoIcon\t')" /f >/dev/null 2>&1
wine reg add "$SETTINGS_KEY\\Rules" /v 5 /d "$(printf '1\tappear\t\t\tReport ready ')" /f >/dev/null 2>&1
open_windows noicon:Early normal:Bystander
start_quenvix_in_tray
wait_until 10 window_hidden Early || fail "a matching window open before the start was not hidden"
window_visible Bystander || fail "a window the rule does not match was hidden"

open_windows noicon:Late
wait_until 10 window_hidden Late || fail "a matching window opened later was not hidden"
window_visible Bystander || fail "a window the rule does not match was hidden"

open_windows "late:Report ready"
wait_until 15 window_hidden "Report ready" || fail "a window named after it showed was not hidden by its caption rule"

tray_menu_choose "$TRAY_RESTORE_ALL"
wait_until 10 window_visible Early || fail "Restore all did not bring back Early"
wait_until 10 window_visible Late || fail "Restore all did not bring back Late"
# A rule acts on a window's appearance at once (above: within a poll of the hidden list); three
# seconds leave it ample time to act again wrongly.
sleep 3
window_visible Late || fail "the rule hid again a window the user brought back"
window_visible Early || fail "the rule hid again a window the user brought back"

show_settings
click_tab "$MAIN_CAPTION" Rules
click_control "$MAIN_CAPTION" Add
wait_until 10 has_title "Add rule" || fail "Add did not open the rule dialog"
wait_until 10 tw isforeground "Add rule" || fail "the rule dialog is not in front"
# The third field, "Caption contains:".
type_into "Add rule" class:Edit#2 "Made on the page"
rule_field_filled() {
    tw children "Add rule" --out "$WORK/rule.txt" && grep -qF "|Made on the page|" "$WORK/rule.txt"
}
wait_until 10 rule_field_filled || fail "the typed caption did not reach the rule dialog's field"
click_control "Add rule" OK
wait_until_not 10 has_title "Add rule" || fail "OK did not close the rule dialog"
wait_until 10 eval '[ "$(reg_value "$SETTINGS_KEY\\Rules" 2)" != "" ]' || fail "the new rule was not stored"

tray_menu_choose "$TRAY_EXIT"
answer_confirmation OK
wait_until 20 quenvix_ended || fail "Exit did not end the program"
start_quenvix_in_tray
open_windows normal:"Made on the page 2"
wait_until 10 window_hidden "Made on the page 2" || fail "the rule made on the page did not work after a restart"
window_visible Bystander || fail "a window no rule matches was hidden"
window_visible Early || fail "after a restart the rule hid again a window the user had brought back"
window_visible Late || fail "after a restart the rule hid again a window the user had brought back"
pass
