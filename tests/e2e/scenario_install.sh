#!/usr/bin/env bash
# The installer and the command line: a silent per-user install into a folder whose path has
# blanks and non-ASCII letters, the installed program in the tray hiding a window by hotkey, the
# options handed to the running copy (and refused, or answered "not running", without one), an
# install over a running copy, and silent uninstalls that give every hidden window back and leave
# nothing behind but, unless asked, the settings.
source "$(dirname "$0")/lib.sh"
e2e_begin install

SETUP=$(ls "$BUILD"/Quenvix-*-setup.exe 2>/dev/null | head -n 1)
[ -f "$SETUP" ] || fail "no installer in $BUILD (cmake --build --preset win64 --target package)"
UNINSTALL_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenvix'
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

# The user's local application data (where per-user programs go) moved to a folder with blanks
# and non-ASCII letters; regedit reads a UTF-16 .reg file, so the name arrives intact.
LOCAL_NAME='Local Dätä Ü'
WIN_USER_DIR=$(wine cmd /c echo %USERPROFILE% 2>/dev/null | tr -d '\r')
{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders]\r\n'
    printf '"Local AppData"="%s\\\\%s"\r\n' "${WIN_USER_DIR//\\/\\\\}" "$LOCAL_NAME"
} | iconv -f UTF-8 -t UTF-16 >"$WORK/folders.reg"
wine regedit /S "$(winepath -w "$WORK/folders.reg")" >/dev/null 2>&1
INSTALLED="$(winepath -u "$WIN_USER_DIR" 2>/dev/null)/$LOCAL_NAME/Programs/Quenvix"
mkdir -p "$(dirname "$INSTALLED")"

# quenvix.exe OPTION...: runs the installed program with the options, output in $WORK/out.txt and
# $WORK/err.txt; answers its exit code.
run_installed() {
    timeout 30 wine "$INSTALLED/quenvix.exe" "$@" >"$WORK/out.txt" 2>"$WORK/err.txt"
}
expect_code() {
    local want=$1; shift
    run_installed "$@"
    local got=$?
    [ "$got" = "$want" ] || fail "quenvix.exe $* ended with $got, not $want ($(cat "$WORK/err.txt"))"
}
main_window_exists() { has_window_class QuenvixMainForm; }
# Ctrl + keypad * with the window of that title in front.
hide_by_hotkey() {
    tw foreground "$1"
    sleep 0.3
    xdotool keydown Control_L; sleep 0.15; xdotool keydown KP_Multiply; sleep 0.2
    xdotool keyup KP_Multiply; sleep 0.1; xdotool keyup Control_L
    wait_until 10 window_hidden "$1"
}
start_menu_link() { find "$WINEPREFIX/drive_c/users" -name Quenvix.lnk 2>/dev/null | head -n 1; }
install_silently() {
    timeout 60 wine "$SETUP" /S "$@" >/dev/null 2>&1 || fail "the silent install failed ($?)"
}
# What was still running, and what the program logged, when an uninstall did not finish: the
# uninstaller's copy in the temp folder and a "--exit" it may still wait for would show here.
uninstall_state() {
    echo "  processes:"
    ps -eo pid=,etimes=,args= | grep -i '\.exe' | grep -v grep | sed 's/^/    /'
    local log
    log=$(find "$WINEPREFIX/drive_c/users" -name quenvix.log 2>/dev/null | head -n 1)
    [ -n "$log" ] && { echo "  program log:"; tail -n 15 "$log" | sed 's/^/    /'; }
}
uninstall_silently() {
    # The uninstaller hands over to a copy of itself in the temp folder and returns at once.
    timeout 60 wine "$INSTALLED/uninstall.exe" /S "$@" >/dev/null 2>&1
    wait_until 30 negate reg_has_key "$UNINSTALL_KEY" ||
        fail "the uninstall entry stayed$(uninstall_state)"
    wait_until 30 negate test -d "$INSTALLED" || fail "files stayed: $(ls "$INSTALLED")"
}

# ---- silent install ---------------------------------------------------------------------------
install_silently
for f in quenvix.exe README.txt uninstall.exe; do
    [ -f "$INSTALLED/$f" ] || fail "the install did not put $f into $INSTALLED"
done
cmp -s "$INSTALLED/quenvix.exe" "$QUENVIX_EXE" || fail "the installed quenvix.exe is not the one built"
[ -n "$(start_menu_link)" ] || fail "no Start-menu shortcut"
[ "$(reg_value "$UNINSTALL_KEY" DisplayName)" = Quenvix ] || fail "uninstall entry: DisplayName"
[ "$(reg_value "$UNINSTALL_KEY" Publisher)" = Tarmel ] || fail "uninstall entry: Publisher"
[[ "$(reg_value "$UNINSTALL_KEY" DisplayVersion)" =~ ^[0-9]+\.[0-9]+ ]] || fail "uninstall entry: DisplayVersion"
[ "$(reg_value "$UNINSTALL_KEY" NoModify)" = 0x1 ] || fail "uninstall entry: NoModify"
[ "$(reg_value "$UNINSTALL_KEY" NoRepair)" = 0x1 ] || fail "uninstall entry: NoRepair"
[[ "$(reg_value "$UNINSTALL_KEY" EstimatedSize)" =~ ^0x[1-9a-f] ]] || fail "uninstall entry: EstimatedSize"
[[ "$(reg_value "$UNINSTALL_KEY" QuietUninstallString)" == *'uninstall.exe" /S' ]] || fail "uninstall entry: QuietUninstallString"
location=$(reg_text 'Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenvix' InstallLocation)
[[ "$location" == *"\\$LOCAL_NAME\\Programs\\Quenvix" ]] || fail "uninstall entry: InstallLocation $location"

# ---- the command line with no running copy -----------------------------------------------------
expect_code 1 --exit
expect_code 1 /SHOW
expect_code 2 --bogus
grep -q "Unknown argument '--bogus'" "$WORK/err.txt" || fail "no message for an unknown option"
expect_code 2 --exit --show
expect_code 0 --version
grep -q '^Quenvix [0-9]' "$WORK/out.txt" || fail "--version printed: $(cat "$WORK/out.txt")"
expect_code 0 -HELP
grep -q -- '--restore-all' "$WORK/out.txt" || fail "--help printed no usage"
main_window_exists && fail "an option started the program"

# ---- the installed program, its hotkey and the options it takes from a second copy -------------
QUENVIX_EXE="$INSTALLED/quenvix.exe"
start_quenvix_in_tray
open_windows normal:Alpha normal:Beta
expect_code 2 --hide-all --restore-all
window_visible Alpha || fail "a refused command line changed something"
expect_code 0 --hide-all
wait_until 10 window_hidden Alpha || fail "--hide-all did not hide Alpha"
wait_until 10 window_hidden Beta || fail "--hide-all did not hide Beta"
expect_code 0 /Restore-All
wait_until 10 window_visible Alpha || fail "--restore-all did not bring back Alpha"
wait_until 10 window_visible Beta || fail "--restore-all did not bring back Beta"
expect_code 0 " --show "
wait_until 10 window_visible "$MAIN_CAPTION" || fail "--show did not show the settings window"

hide_by_hotkey Alpha || fail "Ctrl + keypad * did not hide the foreground window"

# "--exit" while a modal dialog is open, sent twice: the program ends and Alpha comes back.
choose_about
wait_until 10 has_title "About Quenvix" || fail "About did not open the about box"
expect_code 0 --exit
run_installed --exit
[[ $? =~ ^[01]$ ]] || fail "a second --exit was not harmless"
wait_until 10 quenvix_ended || fail "--exit did not end the program within 10 s"
window_visible Alpha || fail "--exit did not bring back the hidden window"

# ---- installing over a running copy ends it the clean way; /RESTART starts the new one --------
start_quenvix_in_tray
hide_by_hotkey Beta || fail "the hotkey did not hide Beta"
install_silently /RESTART
wait_until 10 quenvix_ended || fail "the install did not end the running copy"
window_visible Beta || fail "installing over the running copy did not bring back Beta"
wait_until 20 main_window_exists || fail "/RESTART did not start the new copy"
wait_until 30 window_hidden "$MAIN_CAPTION" || fail "the restarted copy did not go into the tray"

# ---- silent uninstall with a window hidden: it comes back, nothing stays but the settings -------
hide_by_hotkey Beta || fail "the restarted copy did not hide Beta by hotkey"
reg_value "$RUN_KEY" Quenvix >/dev/null || fail "the program wrote no Run value to remove"
uninstall_silently
wait_until 10 negate main_window_exists || fail "the uninstall did not end Quenvix"
wait_until 10 window_visible Beta || fail "the uninstall did not bring back the hidden window"
[ -z "$(start_menu_link)" ] || fail "the Start-menu shortcut stayed"
reg_value "$RUN_KEY" Quenvix >/dev/null && fail "the Run value stayed"
reg_has_key "$SETTINGS_KEY" || fail "a silent uninstall removed the settings"

# ---- a copy ended by force with its guardian: the uninstall gives its window back all the same --
install_silently
start_quenvix_in_tray
hide_by_hotkey Beta || fail "the hotkey did not hide Beta before the kill"
for pid in $(pgrep -f -- '--guard [0-9]+ QuenvixGuard[.]'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && kill -9 "$pid"
done
kill -9 "$QUENVIX_PID"
wait_until 10 quenvix_ended || fail "Quenvix could not be killed"
sleep 1
window_hidden Beta || fail "Beta came back before the uninstall"
uninstall_silently
wait_until 10 window_visible Beta || fail "the uninstall did not bring back what a killed copy left"

# ---- files removed by hand, then uninstalled with /REMOVESETTINGS: no error box, nothing left ---
install_silently
rm -f "$INSTALLED/quenvix.exe" "$INSTALLED/README.txt"
uninstall_silently /REMOVESETTINGS
tw list --out "$WORK/list.txt"
grep -q "^#32770|" "$WORK/list.txt" && fail "the uninstall showed a box: $(grep "^#32770|" "$WORK/list.txt")"
reg_has_key "$SETTINGS_KEY" && fail "/REMOVESETTINGS kept the settings"
pass
