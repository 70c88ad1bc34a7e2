#!/usr/bin/env bash
# A portable copy: quenvix.exe in a folder (blanks, non-ASCII letters) with portable.ini beside it.
# Started, a window hidden by hotkey, Quenvix and its guardian killed, started again: the window
# is in its list from the record in the settings file and comes back with "Restore all", and after the end nothing of ours is in the
# registry (no HKCU\Software\Tarmel) or in %LOCALAPPDATA%; settings, record and log are files
# beside the program. Then settings of an installed copy in the registry: left alone and not read
# (its hotkey is not taken). Then a damaged settings file, and one made read-only: Quenvix runs,
# says what a damaged registry value makes it say, and the file keeps every line.
source "$(dirname "$0")/lib.sh"
e2e_begin portable

PORTABLE="$WORK/Quenvix portabel ä"
mkdir -p "$PORTABLE"
cp "$QUENVIX_EXE" "$PORTABLE/quenvix.exe"
cp "$QUENVIX_ROOT/packaging/portable.ini" "$PORTABLE/portable.ini"
QUENVIX_EXE="$PORTABLE/quenvix.exe"
SETTINGS="$PORTABLE/quenvix-settings.ini"
LOCAL_DIR=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local 2>/dev/null | head -n 1)
# The automatic update check off, in the file (the tests' usual way writes the registry).
printf '[Software\\Tarmel\\Quenvix\\Preference]\r\n"Automatic update check"="0"\r\n' >"$SETTINGS"
export E2E_AUTO_UPDATE=1

nothing_of_ours_outside() {
    reg_has_key 'HKCU\Software\Tarmel' && fail "$1: the registry holds HKCU\\Software\\Tarmel"
    [ -e "$LOCAL_DIR/Quenvix" ] && fail "$1: %LOCALAPPDATA%\\Quenvix exists: $(ls -A "$LOCAL_DIR/Quenvix")"
    return 0
}

# ---- hide, kill, restart: the record in the file gives the window back --------------------------
start_quenvix_in_tray
open_windows normal:Alpha
hide_by_hotkey Alpha || fail "the portable copy did not hide Alpha by hotkey"
grep -qi '^\[Software\\Tarmel\\Quenvix\\Hidden\]' "$SETTINGS" || fail "no record in the settings file: $(cat "$SETTINGS")"
kill_quenvix_and_guardian
sleep 1
window_hidden Alpha || fail "Alpha came back before the restart"
start_quenvix_in_tray
# The new copy takes the record over: Alpha is in its list, and comes back from there.
tray_menu_choose "$TRAY_RESTORE_ALL"
wait_until 15 window_visible Alpha || fail "the restarted portable copy did not give Alpha back from its record: $(cat "$SETTINGS")"
timeout 30 wine "$QUENVIX_EXE" --exit >/dev/null 2>&1
wait_until 15 quenvix_ended || fail "the portable copy did not end"
nothing_of_ours_outside "after hide, kill, restart and exit"
grep -q "Start, version" "$PORTABLE/quenvix.log" 2>/dev/null || fail "no log beside the program"
grep -q '"Automatic update check"="0"' "$SETTINGS" || fail "the settings file lost a setting: $(cat "$SETTINGS")"

# ---- settings of an installed copy in the registry: left alone, and not read ------------------
# There the hide-this hotkey is Ctrl + F11; the portable copy keeps its own (Ctrl + keypad *).
wine reg add 'HKCU\Software\Tarmel\Quenvix\Short key' /v HideThis /d 'CTRL+F11' /f >/dev/null 2>&1
wine reg export 'HKCU\Software\Tarmel' "$(winepath -w "$WORK/before.reg")" >/dev/null 2>&1
start_quenvix_in_tray
open_windows normal:Beta
hide_by_hotkey Beta || fail "the portable copy took the registry's hotkey instead of its own"
timeout 30 wine "$QUENVIX_EXE" --exit >/dev/null 2>&1
wait_until 15 quenvix_ended || fail "the portable copy did not end"
wine reg export 'HKCU\Software\Tarmel' "$(winepath -w "$WORK/after.reg")" >/dev/null 2>&1
cmp -s "$WORK/before.reg" "$WORK/after.reg" || fail "the portable copy changed the registry: $(diff "$WORK/before.reg" "$WORK/after.reg" | head)"
wine reg delete 'HKCU\Software\Tarmel' /f >/dev/null 2>&1

# ---- a damaged file, then a read-only one: Quenvix runs and every line stays --------------------
# A "Startup" line that is no value: the message a Startup value of the wrong type in the registry
# gives (scenario_bad_settings), then the tray.
grep -q '^"Startup"=' "$SETTINGS" || fail "no Startup line in the settings file: $(cat "$SETTINGS")"
sed -i 's/^"Startup"=.*$/"Startup"=this is no value\r/' "$SETTINGS"
start_quenvix
wait_until 20 has_dialog Quenvix || fail "no message for a damaged Startup line"
tw dialog --out "$WORK/dialog.txt"
grep -q "Invalid data type for 'Startup'" "$WORK/dialog.txt" || fail "the message is not the store's: $(cat "$WORK/dialog.txt")"
answer_message_box Quenvix
wait_until 30 window_hidden "$MAIN_CAPTION" || fail "the program did not go on into the tray after the message"
grep -qF '"Startup"=this is no value' "$SETTINGS" || fail "the damaged line was lost"
chmod a-w "$SETTINGS"
cp "$SETTINGS" "$WORK/readonly.ini"
open_windows normal:Gamma
hide_by_hotkey Gamma || fail "with a read-only settings file the hotkey did not hide Gamma"
# The record cannot be written: the user is told, as when the registry refuses it.
wait_until 10 has_dialog Quenvix || fail "no word that the record could not be written"
tw dialog --out "$WORK/box.txt"
grep -q "The list of hidden windows could not be saved" "$WORK/box.txt" || fail "not the record's message: $(cat "$WORK/box.txt")"
answer_message_box Quenvix
cmp -s "$SETTINGS" "$WORK/readonly.ini" || fail "the read-only settings file was changed"
has_window "$MAIN_CAPTION" || fail "Quenvix did not keep running with a read-only settings file"
# The end writes the hotkeys: each write that fails says so, in the store's words.
timeout 30 wine "$QUENVIX_EXE" --exit >/dev/null 2>&1 &
: >"$WORK/boxes.txt"
# The next box may stand there as soon as one is answered, under the same title: a box is done
# with once its text is gone from the screen.
box_answered() { ! has_dialog Quenvix || { tw dialog --out "$WORK/now.txt"; ! cmp -s "$WORK/now.txt" "$WORK/box.txt"; }; }
while wait_until 5 has_dialog Quenvix; do
    tw dialog --out "$WORK/box.txt"
    cat "$WORK/box.txt" >>"$WORK/boxes.txt"
    # Raised by a command from another process, the box is not in front: brought there as a click would.
    tw foreground Quenvix
    wait_until 10 tw isforeground Quenvix || fail "the message box 'Quenvix' is not in front"
    typed_keys Return
    wait_until 10 box_answered || fail "the message box '$(head -n 2 "$WORK/box.txt" | tr '\n' ' ')' did not close"
done
grep -q "Failed to set data for 'HideThis'" "$WORK/boxes.txt" ||
    fail "no registry-like message for the read-only file: $(cat "$WORK/boxes.txt")"
wait_until 15 quenvix_ended || fail "the portable copy did not end"
wait_until 10 window_visible Gamma || fail "Gamma did not come back at the end"
chmod u+w "$SETTINGS"
nothing_of_ours_outside "after the damaged and the read-only file"
pass
