#!/usr/bin/env bash
# Windows come back from the keyboard: Ctrl+Shift+keypad * restores the newest hidden window, then
# the one before, each in its former state; Ctrl+Shift+keypad / opens the hidden list with the
# newest entry selected, so Enter brings it back and Escape closes the list; a key recorded for
# "RestoreLast" works after a restart.
source "$(dirname "$0")/lib.sh"
e2e_begin restore_keys

hide_by_hotkey() {
    tw foreground "$1"
    sleep 0.3
    chord Control_L KP_Multiply
    wait_until 10 window_hidden "$1" || fail "Ctrl + keypad * did not hide $1"
}

start_quenvix_in_tray
open_windows normal:Older max:Newer

hide_by_hotkey Older
hide_by_hotkey Newer
chord Control_L Shift_L KP_Multiply
wait_until 10 window_visible Newer || fail "the newest hidden window did not come back"
window_hidden Older || fail "restoring the last hidden window brought back more"
[ "$(window_state Newer)" = "1 1 0 1" ] || fail "Newer did not come back maximised: $(window_state Newer)"
chord Control_L Shift_L KP_Multiply
wait_until 10 window_visible Older || fail "pressed again, the one before did not come back"
[ "$(window_state Older)" = "1 1 0 0" ] || fail "Older did not come back normal: $(window_state Older)"
# Nothing left: the key does nothing, and breaks nothing.
chord Control_L Shift_L KP_Multiply
sleep 0.5

hide_by_hotkey Older
hide_by_hotkey Newer
chord Control_L Shift_L KP_Divide
wait_until 10 menu_open || fail "Ctrl + Shift + keypad / did not open the hidden list"
sleep 0.4
screenshot restore_keys_list
desktop_keys Return
wait_until_not 10 menu_open || fail "Enter did not close the list"
wait_until 10 window_visible Newer || fail "Enter did not bring back the newest hidden window"
window_hidden Older || fail "Enter brought back another window too"

chord Control_L Shift_L KP_Divide
wait_until 10 menu_open || fail "the hidden list did not open a second time"
sleep 0.4
desktop_keys Escape
wait_until_not 10 menu_open || fail "Escape did not close the list"
window_hidden Older || fail "Escape brought a window back"

# Record Ctrl+F8 for "To restore the last hidden program" (the third line).
tray_double_click
wait_until 10 window_visible "$MAIN_CAPTION" || fail "the settings window did not come back"
tw select "$MAIN_CAPTION" 2 || fail "the hotkey list has no third line"
tw click "$MAIN_CAPTION" Change
wait_until 10 has_title "Changing short-key" || fail "Change did not open the recording dialog"
sleep 0.3
chord Control_L F8
sleep 0.5
tw click "Changing short-key" OK
wait_until_not 10 has_title "Changing short-key" || fail "OK did not close the recording dialog"
wait_until 10 setting_is "Short key" RestoreLast "CTRL+F8" ||
    fail "the recorded key was not stored: $(reg_value "$SETTINGS_KEY\\Short key" RestoreLast)"

tray_menu_choose "$TRAY_EXIT"
answer_confirmation OK
wait_until 20 quenvix_ended || fail "Exit did not end the program"
wait_until 10 window_visible Older || fail "Exit did not bring back Older"
start_quenvix_in_tray
hide_by_hotkey Older
chord Control_L F8
wait_until 10 window_visible Older || fail "the recorded key did not restore after a restart"
pass
