#!/usr/bin/env bash
# Ctrl + keypad * hides the program in the foreground, Ctrl + keypad / hides all; a combination
# recorded in the dialog takes effect at once and survives a restart.
source "$(dirname "$0")/lib.sh"
e2e_begin hotkeys

# Shows the settings window and opens the recording dialog with "Change".
open_recording() {
    window_visible "$MAIN_CAPTION" || tray_double_click
    wait_until 10 window_visible "$MAIN_CAPTION" || fail "the settings window did not come back"
    click_control "$MAIN_CAPTION" Change
    wait_until 10 has_title "Changing short-key" || fail "Change did not open the recording dialog"
}

start_quenvix_in_tray
open_windows normal:Alpha normal:Beta

to_front Alpha
chord Control_L KP_Multiply
wait_until 10 window_hidden Alpha || fail "Ctrl + keypad * did not hide the foreground window"
window_visible Beta || fail "Ctrl + keypad * hid more than the foreground window"

# The same chord again, after everything was let go, hides the next foreground window.
to_front Beta
chord Control_L KP_Multiply
wait_until 10 window_hidden Beta || fail "the hotkey did not fire a second time"

tray_menu_choose "$TRAY_RESTORE_ALL"
wait_until 10 window_visible Alpha || fail "Restore all did not bring back Alpha"
wait_until 10 window_visible Beta || fail "Restore all did not bring back Beta"
chord Control_L KP_Divide
wait_until 10 window_hidden Alpha || fail "Ctrl + keypad / did not hide Alpha"
wait_until 10 window_hidden Beta || fail "Ctrl + keypad / did not hide Beta"
tray_menu_choose "$TRAY_RESTORE_ALL"
wait_until 10 window_visible Beta || fail "Restore all did not bring back Beta"

# Record Ctrl+F9 for "To hide the active program".
open_recording
wait_until 10 tw isforeground "Changing short-key" || fail "the recording dialog is not in front"
# While recording, a hotkey's keys are recorded instead of acting: Ctrl + keypad / would hide Beta
# whichever window is in front. Once the dialog shows the keys the recorder has seen them; the
# detector polls every 50 ms and hides at once, so a second more is twenty of its polls.
chord Control_L KP_Divide
wait_until 10 recording_shows "CTRL+/ Num" || fail "the recording dialog did not show Ctrl + keypad /"
sleep 1
window_visible Beta || fail "a hotkey fired while the recording dialog was open"
chord Control_L F9
wait_until 10 recording_shows "CTRL+F9" || fail "the recording dialog did not show Ctrl+F9"
screenshot hotkeys_recording
click_control "Changing short-key" OK
wait_until_not 10 has_title "Changing short-key" || fail "OK did not close the recording dialog"
wait_until 10 setting_is "Short key" HideThis "CTRL+F9" || fail "the recorded key was not stored: $(reg_value "$SETTINGS_KEY\\Short key" HideThis)"
click_close_box "$MAIN_CAPTION"
answer_confirmation OK

to_front Beta
chord Control_L F9
wait_until 10 window_hidden Beta || fail "the recorded hotkey did not hide the foreground window"
tray_menu_choose "$TRAY_RESTORE_ALL"
wait_until 10 window_visible Beta || fail "Restore all did not bring back Beta"

# After a restart the recorded key is still the one that works.
tray_menu_choose "$TRAY_EXIT"
answer_confirmation OK
wait_until 20 quenvix_ended || fail "Exit did not end the program"
start_quenvix_in_tray
to_front Alpha
chord Control_L F9
wait_until 10 window_hidden Alpha || fail "the recorded hotkey did not survive a restart"
tray_menu_choose "$TRAY_RESTORE_ALL"
wait_until 10 window_visible Alpha || fail "Restore all did not bring back Alpha"

# Cancel and Escape in the recording dialog change nothing.
open_recording
chord Control_L F5
wait_until 10 recording_shows "CTRL+F5" || fail "the recording dialog did not show Ctrl+F5"
click_control "Changing short-key" Cancel
wait_until_not 10 has_title "Changing short-key" || fail "Cancel did not close the recording dialog"
open_recording
chord Control_L F6
wait_until 10 recording_shows "CTRL+F6" || fail "the recording dialog did not show Ctrl+F6"
typed_keys Escape
wait_until_not 10 has_title "Changing short-key" || fail "Escape did not close the recording dialog"
[ "$(reg_value "$SETTINGS_KEY\\Short key" HideThis)" = "CTRL+F9" ] || fail "Cancel or Escape changed the stored key"

# "Default", answered OK: both built-in texts come back and "Run on startup" is ticked again.
click_control "$MAIN_CAPTION" "Run on startup"
wait_until 10 setting_is Main Startup 0 || fail "unticking Run on startup was not stored"
click_control "$MAIN_CAPTION" Default
wait_until 10 has_dialog Confirm || fail "Default did not ask"
answer_message_box Confirm
wait_until 10 setting_is "Short key" HideThis "CTRL+* Num" || fail "Default did not restore HideThis"
[ "$(reg_value "$SETTINGS_KEY\\Short key" HideAll)" = "CTRL+/ Num" ] || fail "Default did not restore HideAll"
[ "$(reg_value "$SETTINGS_KEY\\Main" Startup)" = 1 ] || fail "Default did not tick Run on startup"
reg_value 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' Quenvix >/dev/null || fail "Default did not restore the Run entry"
pass
