#!/usr/bin/env bash
# Windows come back from the keyboard: Ctrl+Shift+keypad * restores the newest hidden window, then
# the one before, each in its former state; Ctrl+Shift+keypad / opens the hidden list with the
# newest entry selected, so Enter brings it back and Escape closes the list; a key recorded for
# "RestoreLast" works after a restart.
source "$(dirname "$0")/lib.sh"
e2e_begin restore_keys

hide_by_hotkey() {
    to_front "$1"
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
# Nothing left: the key does nothing, and breaks nothing. Older is in front: a key that acted on
# the window in front (hiding it, or minimising it for a restore) would do so within a poll or
# two (50 ms each); a second is twenty of them.
to_front Older
chord Control_L Shift_L KP_Multiply
sleep 1
[ "$(window_state Older)" = "1 1 0 0" ] || fail "the key with nothing hidden changed Older: $(window_state Older)"
[ "$(window_state Newer)" = "1 1 0 1" ] || fail "the key with nothing hidden changed Newer: $(window_state Newer)"
tw isforeground Older || fail "the key with nothing hidden took the foreground from Older"
tw answers "$MAIN_CAPTION" || fail "Quenvix does not answer after the key with nothing hidden"

hide_by_hotkey Older
hide_by_hotkey Newer
chord Control_L Shift_L KP_Divide
wait_until 10 menu_open || fail "Ctrl + Shift + keypad / did not open the hidden list"
wait_until 10 tw menuready || fail "the hidden list opened but is not tracked"
screenshot restore_keys_list
desktop_keys Return
wait_until_not 10 menu_open || fail "Enter did not close the list"
wait_until 10 window_visible Newer || fail "Enter did not bring back the newest hidden window"
window_hidden Older || fail "Enter brought back another window too"

chord Control_L Shift_L KP_Divide
wait_until 10 menu_open || fail "the hidden list did not open a second time"
wait_until 10 tw menuready || fail "the hidden list opened but is not tracked"
desktop_keys Escape
wait_until_not 10 menu_open || fail "Escape did not close the list"
window_hidden Older || fail "Escape brought a window back"

# Record Ctrl+F8 for "To restore the last hidden program" (the third line of the list), chosen
# as a person does: a click on the list, Down to its third line, Enter.
show_settings
click_control "$MAIN_CAPTION" class:ComboBox
typed_keys Home Down Down Return
click_control "$MAIN_CAPTION" Change
wait_until 10 has_title "Changing short-key" || fail "Change did not open the recording dialog"
wait_until 10 tw isforeground "Changing short-key" || fail "the recording dialog is not in front"
chord Control_L F8
wait_until 10 recording_shows "CTRL+F8" || fail "the recording dialog did not show Ctrl+F8"
click_control "Changing short-key" OK
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
