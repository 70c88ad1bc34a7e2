#!/usr/bin/env bash
# The installer and the command line: a silent per-user install into a folder whose path has
# blanks and non-ASCII letters, the installed program in the tray hiding a window by hotkey, the
# options handed to the running copy (and refused, or answered "not running", without one), an
# install over a running copy (ended by the installed program, never one in the temp folder), install
# folders that are refused, an uninstall that a copy which will not end stops before anything goes,
# and silent uninstalls that give every hidden window back and remove exactly what was installed:
# after the last one, with "Remove my settings", no file, value or log of ours is left.
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
LOG_DIR="$(winepath -u "$WIN_USER_DIR" 2>/dev/null)/$LOCAL_NAME/Quenvix"
WIN_TEMP=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')" 2>/dev/null)
SETUP_TITLE="Quenvix $(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt") Setup"
start_lines() { grep -c "Start, version" "$LOG_DIR/quenvix.log" 2>/dev/null; }

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
main_window_exists() { has_window "$MAIN_CAPTION"; }
# Ctrl + keypad * with the window of that title in front.
hide_by_hotkey() {
    to_front "$1"
    xdotool keydown Control_L; sleep 0.15; xdotool keydown KP_Multiply; sleep 0.2
    xdotool keyup KP_Multiply; sleep 0.1; xdotool keyup Control_L
    wait_until 10 window_hidden "$1"
}
start_menu_link() { find "$WINEPREFIX/drive_c/users" -name Quenvix.lnk 2>/dev/null | head -n 1; }
install_silently() {
    timeout 60 wine "$SETUP" /S "$@" >/dev/null 2>&1 || fail "the silent install failed ($?)"
}
# refused_folder WINDOWS_PATH WHAT: a silent install there ends with code 2 and writes nothing.
refused_folder() {
    timeout 60 wine "$SETUP" /S "/D=$1" >/dev/null 2>&1
    local code=$?
    [ "$code" = 2 ] || fail "an install into $2 ended with $code, not 2"
    reg_has_key "$UNINSTALL_KEY" && fail "a refused install into $2 wrote the uninstall entry"
    [ -z "$(start_menu_link)" ] || fail "a refused install into $2 made a shortcut"
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
# The uninstaller's own copy in the temp folder (NSIS runs it from "~nsu*.tmp") is still at work.
# (ps into a file first: under pipefail, grep -q ending the pipe early would make ps fail it.)
uninstaller_running() {
    ps -eo stat=,args= >"$WORK/ps.txt"
    grep -qiE '^[^Z]+ .*nsu[^ ]*\.tmp' "$WORK/ps.txt"
}
# uninstall_in_place OPTION...: the uninstaller as "Apps" and winget run it (the uninstall entry's
# QuietUninstallString: in place, "_?=" last), which returns only when it is done; answers its code.
# NSIS reads "_?=" only unquoted, and wine quotes an argument with blanks: the line goes through a
# batch file beside the install folder, as the uninstall entry's string would (cmd waits for each
# program of a batch); the folder's name, blanks and non-ASCII letters, comes from the batch's own.
uninstall_in_place() {
    local batch
    batch="$(dirname "$INSTALLED")/uninstall-in-place.bat"
    printf '@cd /d "%%~dp0"\r\n@"%%CD%%\\Quenvix\\uninstall.exe" /S %s _?=%%CD%%\\Quenvix\r\n@exit /b %%ERRORLEVEL%%\r\n' \
        "$*" >"$batch"
    timeout 90 wine cmd /c "$(winepath -w "$batch" 2>/dev/null)" >/dev/null 2>&1
    local code=$?
    rm -f "$batch"
    return $code
}
uninstall_silently() {
    uninstall_in_place "$@"
    local code=$?
    [ "$code" = 0 ] || fail "the uninstall ended with $code$(uninstall_state)"
    # It has ended: the uninstall entry is gone already; uninstall.exe and the folder go a moment later.
    reg_has_key "$UNINSTALL_KEY" && fail "the uninstall entry stayed after the uninstaller ended$(uninstall_state)"
    wait_until 30 negate test -d "$INSTALLED" || fail "files stayed: $(ls "$INSTALLED")"
}

# ---- install folders that are refused, before anything is installed ----------------------------
FOREIGN="$WINEPREFIX/drive_c/ForeignStuff"
mkdir -p "$FOREIGN"
echo "somebody else's" >"$FOREIGN/notes.txt"
refused_folder 'C:\ForeignStuff' "a folder of somebody else's files"
[ "$(ls -A "$FOREIGN")" = notes.txt ] || fail "a refused install changed the folder: $(ls -A "$FOREIGN")"
refused_folder 'C:\windows' "Windows' folder"
refused_folder 'C:\ForeignStuff\notes.txt' "a file"
LONG='C:\'$(printf 'q%.0s' $(seq 1 297))
refused_folder "$LONG" "a 300-character path"
[ -z "$(ls -d "$WINEPREFIX"/drive_c/qqqq* 2>/dev/null)" ] || fail "a refused install made the long folder"
# Interactively the refusal is a message that says why.
timeout 60 wine "$SETUP" '/D=C:\ForeignStuff' >/dev/null 2>&1 &
setup_pid=$!
wait_until 20 has_dialog "$SETUP_TITLE" || fail "an interactive install into a foreign folder showed no message"
tw children "$SETUP_TITLE" --out "$WORK/box.txt"
grep -q "already holds other files" "$WORK/box.txt" || fail "the refusal does not say why: $(cat "$WORK/box.txt")"
tw foreground "$SETUP_TITLE"
answer_message_box "$SETUP_TITLE"
wait "$setup_pid"
[ $? = 2 ] || fail "the interactive setup did not end with code 2 after its refusal"
[ "$(ls -A "$FOREIGN")" = notes.txt ] || fail "the interactive refusal changed the folder"

# ---- silent install ---------------------------------------------------------------------------
install_silently
for f in quenvix.exe README.txt Help/Default.htm uninstall.exe; do
    [ -f "$INSTALLED/$f" ] || fail "the install did not put $f into $INSTALLED"
done
cmp -s "$INSTALLED/quenvix.exe" "$QUENVIX_EXE" || fail "the installed quenvix.exe is not the one built"
[ -n "$(start_menu_link)" ] || fail "no Start-menu shortcut"
# The winget manifest names this entry (ProductCode, AppsAndFeaturesEntries) and the download base.
MANIFEST=$(ls "$BUILD"/manifests/winget/manifests/t/Tarmel/Quenvix/*/Tarmel.Quenvix.installer.yaml)
manifest_field() { sed -n "s/^[ -]*$1: \"\{0,1\}\([^\"]*\)\"\{0,1\}\$/\1/p" "$MANIFEST" | head -n 1; }
reg_has_key "HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\\$(manifest_field ProductCode)" ||
    fail "no uninstall entry named by the winget ProductCode $(manifest_field ProductCode)"
[ "$(reg_value "$UNINSTALL_KEY" DisplayName)" = "$(manifest_field DisplayName)" ] || fail "uninstall entry: DisplayName"
[ "$(reg_value "$UNINSTALL_KEY" DisplayVersion)" = "$(manifest_field DisplayVersion)" ] ||
    fail "uninstall entry: DisplayVersion is not the manifest's"
[ "$(reg_value "$UNINSTALL_KEY" URLUpdateInfo)" = "$(sed -n 's/^QUENVIX_DOWNLOAD_BASE:STRING=//p' "$BUILD/CMakeCache.txt")" ] ||
    fail "uninstall entry: URLUpdateInfo is not the download base"
[ "$(reg_value "$UNINSTALL_KEY" Publisher)" = Tarmel ] || fail "uninstall entry: Publisher"
[[ "$(reg_value "$UNINSTALL_KEY" DisplayVersion)" =~ ^[0-9]+\.[0-9]+ ]] || fail "uninstall entry: DisplayVersion"
[ "$(reg_value "$UNINSTALL_KEY" NoModify)" = 0x1 ] || fail "uninstall entry: NoModify"
[ "$(reg_value "$UNINSTALL_KEY" NoRepair)" = 0x1 ] || fail "uninstall entry: NoRepair"
[[ "$(reg_value "$UNINSTALL_KEY" EstimatedSize)" =~ ^0x[1-9a-f] ]] || fail "uninstall entry: EstimatedSize"
[[ "$(reg_value "$UNINSTALL_KEY" QuietUninstallString)" == *'uninstall.exe" /S _?='*'\Programs\Quenvix' ]] ||
    fail "uninstall entry: QuietUninstallString $(reg_value "$UNINSTALL_KEY" QuietUninstallString)"
[[ "$(reg_value "$UNINSTALL_KEY" UninstallString)" == *'uninstall.exe" _?='*'\Programs\Quenvix' ]] ||
    fail "uninstall entry: UninstallString"
location=$(reg_text 'Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenvix' InstallLocation)
[[ "$location" == *"\\$LOCAL_NAME\\Programs\\Quenvix" ]] || fail "uninstall entry: InstallLocation $location"

# ---- the command line with no running copy: answers that leave the log alone -------------------
expect_code 1 --exit
expect_code 1 /SHOW
expect_code 0 --version
[ "$(tr -d '\r' <"$WORK/out.txt")" = "Quenvix $(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")" ] ||
    fail "--version printed $(cat "$WORK/out.txt"), not project()'s version"
expect_code 0 -HELP
grep -q -- '--restore-all' "$WORK/out.txt" || fail "--help printed no usage"
[ -e "$LOG_DIR/quenvix.log" ] && fail "a short run wrote to the log: $(cat "$LOG_DIR/quenvix.log")"
# A refused command line is a failure, and the log says so (and nothing about a start).
expect_code 2 --bogus
grep -q "Unknown argument '--bogus'" "$WORK/err.txt" || fail "no message for an unknown option"
expect_code 2 --exit --show
grep -q "Command line refused" "$LOG_DIR/quenvix.log" 2>/dev/null || fail "a refused command line was not logged"
[ "$(start_lines)" = 0 ] || fail "a refused command line logged a start"
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
[ "$(start_lines)" = 1 ] || fail "one start and four forwarded options logged $(start_lines) starts"

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
# Which program the setup asks to end the running copy: seen in the process list while it runs.
( while :; do ps -eo args= | grep -i 'quenvix\.exe.*--exit' | grep -v grep; sleep 0.05; done ) >"$WORK/exit_runs.txt" 2>/dev/null &
watcher=$!
install_silently /RESTART
kill "$watcher" 2>/dev/null; wait "$watcher" 2>/dev/null
grep -q . "$WORK/exit_runs.txt" || fail "the setup was not seen ending the running copy with --exit"
grep -qi 'temp' "$WORK/exit_runs.txt" && fail "the setup ran a program from the temp folder: $(sort -u "$WORK/exit_runs.txt")"
grep -qF "Programs" "$WORK/exit_runs.txt" || fail "the --exit run was not the installed program: $(sort -u "$WORK/exit_runs.txt")"
wait_until 10 quenvix_ended || fail "the install did not end the running copy"
window_visible Beta || fail "installing over the running copy did not bring back Beta"
wait_until 20 main_window_exists || fail "/RESTART did not start the new copy"
wait_until 30 window_hidden "$MAIN_CAPTION" || fail "the restarted copy did not go into the tray"

# ---- a copy that does not answer (stopped): the uninstall removes nothing, the entry stays -------
# (This prefix's copy: other prefixes on the machine may run the same scenario at the same time.)
restarted_pid=""
for pid in $(pgrep -f 'Programs.Quenvix.quenvix\.exe$'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && restarted_pid=$pid
done
[ -n "$restarted_pid" ] || fail "the restarted copy is not in the process list"
kill -STOP "$restarted_pid"
# In place, as winget runs it: it waits, gives up after 10 s, and says "still running" (3, which
# the winget manifest maps to packageInUse).
uninstall_in_place
code=$?
kill -CONT "$restarted_pid"
[ "$code" = 3 ] || fail "the uninstall stopped by a copy that will not end ended with $code, not 3$(uninstall_state)"
reg_has_key "$UNINSTALL_KEY" || fail "the uninstall entry went while the program still ran$(uninstall_state)"
[ -f "$INSTALLED/quenvix.exe" ] && [ -f "$INSTALLED/uninstall.exe" ] ||
    fail "an uninstall that could not end the program removed files: $(ls "$INSTALLED")"
# The resumed copy may still read the "--exit" it was sent while stopped: end it, start afresh.
run_installed --exit
wait_until 15 negate main_window_exists || fail "the resumed copy did not end"
start_quenvix_in_tray

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
kill_quenvix_and_guardian
sleep 1
window_hidden Beta || fail "Beta came back before the uninstall"
uninstall_silently
wait_until 10 window_visible Beta || fail "the uninstall did not bring back what a killed copy left"

# ---- a file of the user's in the folder: the uninstall removes ours only, and keeps the folder ---
install_silently
echo mine >"$INSTALLED/my notes.txt"
timeout 60 wine "$INSTALLED/uninstall.exe" /S >/dev/null 2>&1
wait_until 30 negate reg_has_key "$UNINSTALL_KEY" || fail "the uninstall entry stayed$(uninstall_state)"
wait_until 30 negate test -f "$INSTALLED/uninstall.exe" || fail "uninstall.exe stayed"
[ "$(ls -A "$INSTALLED")" = "my notes.txt" ] || fail "the uninstall did not remove exactly its own files: $(ls -A "$INSTALLED")"
rm -rf "$INSTALLED"

# ---- the round trip: install, run, upgrade over the running copy, files removed by hand, then ----
# ---- uninstalled with /REMOVESETTINGS: no error box, and nothing of ours anywhere ---------------
install_silently
start_quenvix_in_tray
[ -f "$LOG_DIR/quenvix.log" ] || fail "the running program keeps no log to remove"
install_silently /RESTART
wait_until 20 main_window_exists || fail "/RESTART did not start the upgraded copy"
rm -f "$INSTALLED/README.txt"
uninstall_silently /REMOVESETTINGS
wait_until 10 negate main_window_exists || fail "the uninstall did not end Quenvix"
tw list --out "$WORK/list.txt"
grep -q "^#32770|" "$WORK/list.txt" && fail "the uninstall showed a box: $(grep "^#32770|" "$WORK/list.txt")"
reg_has_key "$SETTINGS_KEY" && fail "/REMOVESETTINGS kept the settings"
reg_has_key 'HKCU\Software\Tarmel' && fail "the empty HKCU\Software\Tarmel stayed"
reg_value "$RUN_KEY" Quenvix >/dev/null && fail "the Run value stayed"
[ -z "$(start_menu_link)" ] || fail "the Start-menu shortcut stayed"
wait_until 10 negate test -e "$LOG_DIR" || fail "/REMOVESETTINGS kept the log: $(ls -A "$LOG_DIR")"
leftovers=$(find "$WINEPREFIX/drive_c" \( -iname 'quenvix*' -o -iname 'Tarmel*' \) -print 2>/dev/null)
[ -z "$leftovers" ] || fail "files of ours stayed: $leftovers"
# The uninstaller's copy of itself in the temp folder goes a moment after it has ended.
temp_left() { find "$WIN_TEMP" -mindepth 1 \( -iname '~nsu*' -o -iname 'ns*.tmp' -o -iname '*.exe' \) -print 2>/dev/null; }
temp_clean() { [ -z "$(temp_left)" ]; }
wait_until 20 temp_clean || fail "the setup or the uninstaller left files in the temp folder: $(temp_left)"
# (NSIS also asks for its temp copy to be deleted at the next restart, which only an administrator
# may ask on Windows and Wine records in PendingFileRenameOperations; by then the file is gone.)
pass
