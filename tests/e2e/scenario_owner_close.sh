#!/usr/bin/env bash
# Nothing but the program's own Exit ends it, and nothing stands in the way of that Exit: the
# taskbar's "Close window" (it reaches the owner window that carries the button) hides the
# settings window like its own close box does; a window minimised goes to the tray and comes back
# usable from there; an exit question whose memory was stored with a wrong type is reported
# once, asked anyway and repaired.
source "$(dirname "$0")/lib.sh"
e2e_begin owner_close

WM_SYSCOMMAND=0x0112
SC_CLOSE=0xF060

start_quenvix_in_tray
open_windows normal:Kept
tray_menu_choose "$TRAY_PANIC"
wait_until 15 window_hidden Kept || fail "the test window was not hidden"

tray_menu_choose "$TRAY_SHOW_SETTINGS"
wait_until 10 window_visible "$MAIN_CAPTION" || fail "the settings window was not shown"
# The taskbar's "Close window" posts the close command to the window that carries the button.
tw post QuenvixApplication "$WM_SYSCOMMAND" "$SC_CLOSE" 0
answer_confirmation OK
wait_until 10 window_hidden "$MAIN_CAPTION" || fail "the owner's close did not hide the settings window"
tray_double_click
wait_until 10 window_visible "$MAIN_CAPTION" || fail "the settings window is gone after the owner's close"
window_hidden Kept || fail "the hidden window came back on the owner's close"

# Minimised from its system menu: Alt+Space, then "Minimize".
wait_until 10 tw isforeground "$MAIN_CAPTION" || fail "the settings window is not in front"
typed_keys alt+space n
wait_until 10 window_hidden "$MAIN_CAPTION" || fail "the minimised settings window did not go to the tray"
tray_double_click
main_is_normal() { [ "$(window_state "$MAIN_CAPTION")" = "1 1 0 0" ]; }
wait_until 10 main_is_normal || fail "shown from the tray, the window is not restored: $(window_state "$MAIN_CAPTION")"
# Its activation comes a moment after it shows; a tray menu opened before that is closed again by
# it, and the Exit chosen there would be lost.
wait_until 10 tw isforeground "$MAIN_CAPTION" || fail "shown from the tray, the window did not come to the front"

wine reg add "$SETTINGS_KEY\\Dialogs" /v AskToClose /t REG_DWORD /d 1 /f >/dev/null 2>&1
tray_menu_choose "$TRAY_EXIT"
wait_until 15 has_dialog Quenvix || fail "no message for an exit question stored with a wrong type"
tw dialog --out "$WORK/dialog.txt"
grep -q "Invalid data type for 'AskToClose'" "$WORK/dialog.txt" || fail "not the store's message: $(cat "$WORK/dialog.txt")"
answer_message_box Quenvix
answer_confirmation OK
wait_until 20 quenvix_ended || fail "Exit did not end the program"
wait "$QUENVIX_PID"; rc=$?
[ "$rc" -eq 0 ] || fail "exit code $rc"
wait_until 10 window_visible Kept || fail "the hidden window did not come back at Exit"
[ "$(reg_value "$SETTINGS_KEY\\Dialogs" AskToClose)" = 0 ] || fail "the damaged memory was not repaired"
pass
