#!/usr/bin/env bash
# A setting of the wrong type reaches the user as the store's message, and the program goes on:
# it still starts, goes into the tray and hides windows.
source "$(dirname "$0")/lib.sh"
e2e_begin bad_settings

wine reg add "$SETTINGS_KEY\\Main" /v Startup /t REG_DWORD /d 1 /f >/dev/null 2>&1
set_setting Preference "Automatic update check" 0
start_quenvix
wait_until 20 has_dialog Quenvix || fail "no message for a Startup value of the wrong type"
tw dialog --out "$WORK/dialog.txt"
grep -q "Invalid data type for 'Startup'" "$WORK/dialog.txt" || fail "the message is not the store's: $(cat "$WORK/dialog.txt")"
answer_message_box Quenvix
wait_until 30 window_hidden "$MAIN_CAPTION" || fail "the program did not go on into the tray after the message"

open_windows normal:Alpha
tray_menu_choose "$TRAY_PANIC"
wait_until 15 window_hidden Alpha || fail "hiding did not work after a damaged setting"
tray_menu_choose "$TRAY_RESTORE_ALL"
wait_until 15 window_visible Alpha || fail "restoring did not work after a damaged setting"
pass
