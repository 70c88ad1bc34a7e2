# End-to-end harness: the real quenvix.exe in a fresh Wine prefix on a virtual desktop with a
# taskbar, driven from outside. Sourced by each scenario; expects DISPLAY (run_all.sh starts Xvfb).
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

BUILD="${QUENVIX_BUILD:-$QUENVIX_ROOT/build/win64}"
QUENVIX_EXE="$BUILD/quenvix.exe"
TESTWIN_EXE="$BUILD/testwin.exe"
MAIN_CAPTION="Quenvix Classic version 1.2 (Freeware)"
ICON_CLASS="QuenvixNotifyIcon"
TRAY_MESSAGE=1124
E2E_LOGS="$QUENVIX_ROOT/build/test-logs/e2e"
mkdir -p "$E2E_LOGS"
E2E_PIDS=()
SCENARIO=""
WORK=""

# Starts a scenario: a fresh prefix and a desktop that lives as long as the scenario.
e2e_begin() {
    SCENARIO=$1
    export WINEPREFIX
    WINEPREFIX=$(new_wineprefix)
    WORK=$(mktemp -d /tmp/quenvix-e2e.XXXXXX)
    wine explorer /desktop=shell,1024x768 >"$WORK/desktop.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_until 30 has_window_class Shell_TrayWnd || fail "the virtual desktop did not come up"
    trap e2e_end EXIT
}

# Ends what this scenario started, by PID, and its Wine server.
e2e_end() {
    local pid
    for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
    WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1
    rm -rf "$WINEPREFIX" "$WORK"
}

fail() {
    echo "FAIL [$SCENARIO]: $*"
    import -window root "$E2E_LOGS/$SCENARIO.png" 2>/dev/null && echo "  screenshot: $E2E_LOGS/$SCENARIO.png"
    [ -f "$WORK/quenvix.log" ] && tail -n 20 "$WORK/quenvix.log"
    exit 1
}

pass() { echo "PASS [$SCENARIO]${1:+: $1}"; exit 0; }

# wait_until SECONDS COMMAND...: polls until the command succeeds.
wait_until() {
    local limit=$1; shift
    local deadline=$((SECONDS + limit))
    while [ $SECONDS -lt "$deadline" ]; do
        "$@" && return 0
        sleep 0.3
    done
    return 1
}

# wait_until_not SECONDS COMMAND...: polls until the command fails.
wait_until_not() {
    local limit=$1; shift
    wait_until "$limit" negate "$@"
}
negate() { ! "$@"; }

tw() { wine "$TESTWIN_EXE" "$@" >/dev/null 2>&1; }

# "exists visible iconic zoomed" of the window with that title.
window_state() {
    tw state "$1" --out "$WORK/state.txt"
    tr -d '\r\n' <"$WORK/state.txt"
}
# state_is TITLE STATE: the window's state ("exists visible iconic zoomed") is STATE now.
state_is() { [ "$(window_state "$1")" = "$2" ]; }
has_window() { [ "$(window_state "$1" | cut -d' ' -f1)" = 1 ]; }
window_visible() { [ "$(window_state "$1" | cut -d' ' -f2)" = 1 ]; }
window_hidden() { [ "$(window_state "$1")" != "" ] && [ "$(window_state "$1" | cut -d' ' -f1,2)" = "1 0" ]; }
has_window_class() {
    tw list --out "$WORK/list.txt"
    grep -q "^$1|" "$WORK/list.txt" 2>/dev/null
}

start_quenvix() {
    wine "$QUENVIX_EXE" >>"$WORK/quenvix.log" 2>&1 &
    QUENVIX_PID=$!
    E2E_PIDS+=("$QUENVIX_PID")
}

# Starts test windows (KIND:TITLE ...) and waits until they are up.
open_windows() {
    rm -f "$WORK/ready.txt"
    wine "$TESTWIN_EXE" open "$@" --ready "$(winepath -w "$WORK/ready.txt" 2>/dev/null)" >/dev/null 2>&1 &
    TESTWIN_PID=$!
    E2E_PIDS+=("$TESTWIN_PID")
    wait_until 20 test -f "$WORK/ready.txt" || fail "test windows did not open"
}

# Where the tray icon is on the screen: the middle of the gauge's greens (dark for the idle part,
# bright for the load) at the taskbar's right end. Found once per scenario; the icon stays put.
TRAY_POINT=""
tray_icon_point() {
    if [ -z "$TRAY_POINT" ]; then
        import -window root "$WORK/tray.png" 2>/dev/null || return 1
        TRAY_POINT=$(convert "$WORK/tray.png" -crop 200x40+824+728 +repage txt:- 2>/dev/null |
            awk -F'[,: ]+' '/#008000|#00FF00/ { x += $1; y += $2; n++ }
                END { if (n < 10) exit 1; printf "%d %d\n", 824 + x / n, 728 + y / n }') || return 1
    fi
    echo "$TRAY_POINT"
}

# Clicks on the tray icon with the real mouse: button 1 left, 3 right; a repeat of 2 is a double
# click. The shell then sends the callback from its own process, as it does for every user.
tray_icon_click() {
    local button=$1 repeat=${2:-1} point
    point=$(tray_icon_point) || fail "no tray icon to click"
    # shellcheck disable=SC2086
    xdotool mousemove $point click --repeat "$repeat" --delay 120 "$button"
}
tray_double_click() { tray_icon_click 1 2; }
tray_icon_shown() { tray_icon_point >/dev/null; }

# Value of a registry value, or nothing when it is missing.
reg_value() {
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v name="$2" '
        { line = $0; sub(/^ +/, "", line) }
        index(line, name) == 1 { rest = substr(line, length(name) + 1); sub(/^ +REG_[A-Z_]+ */, "", rest); print rest; found = 1 }
        END { exit found ? 0 : 1 }'
}
reg_has_key() { wine reg query "$1" >/dev/null 2>&1; }

screenshot() { import -window root "$E2E_LOGS/$1.png" 2>/dev/null; }
# A visible dialog box (class #32770) with that title.
has_dialog() {
    tw list --out "$WORK/list.txt"
    grep -q "^#32770|$1|" "$WORK/list.txt" 2>/dev/null
}

SETTINGS_KEY='HKCU\Software\Tarmel\Quenvix'
# Positions of the fixed items of the tray menu, as the keyboard walks them (separators skipped).
TRAY_SHOW_SETTINGS=1
TRAY_CHECK_UPDATE=2
TRAY_EXIT=4
TRAY_CLOSE_MENU=5
TRAY_RESTORE_ALL=6
TRAY_PANIC=7
TRAY_FIRST_ENTRY=8

# setting_is SECTION NAME TEXT: the stored text equals TEXT (read afresh at each call).
setting_is() { [ "$(reg_value "$SETTINGS_KEY\\$1" "$2")" = "$3" ]; }

set_setting() { wine reg add "$SETTINGS_KEY\\$1" /v "$2" /d "$3" /f >/dev/null 2>&1; }

# Starts Quenvix with the automatic update check off (no question at start) unless asked for,
# and waits until it sits in the tray.
start_quenvix_in_tray() {
    [ "${E2E_AUTO_UPDATE:-0}" = 1 ] || set_setting Preference "Automatic update check" 0
    start_quenvix
    # Straight into the tray: the icon is all that shows, the settings window waits hidden. (A
    # copy started earlier in the scenario may have left its icon at the same place.)
    TRAY_POINT=""
    wait_until 30 tray_icon_shown || fail "no tray icon in the notification area"
    wait_until 10 window_hidden "$MAIN_CAPTION" || fail "Quenvix has no settings window in the tray"
}

# The program's own log in the prefix (%LOCALAPPDATA%\Quenvix\quenvix.log).
quenvix_log() {
    cat "$WINEPREFIX"/drive_c/users/*/AppData/Local/Quenvix/quenvix.log 2>/dev/null
}

# Keys go to the Wine desktop, which passes them to its focused window (an open menu here).
desktop_keys() {
    local desktop
    desktop=$(xdotool search --name 'Wine desktop' 2>/dev/null | head -n 1)
    [ -n "$desktop" ] && xdotool windowfocus "$desktop" 2>/dev/null
    xdotool key --delay 100 "$@"
}

menu_open() { has_window_class '#32768'; }

# Keys typed to the window in front of Wine's desktop: Wine gives the X focus to that window's own
# X window, so the keys go wherever X has the focus now (desktop_keys would move it away).
typed_keys() { xdotool key --delay 100 "$@"; }

# Opens the tray menu with a right click on the icon.
tray_menu_open() {
    tray_icon_click 3
    wait_until 10 menu_open || fail "the tray menu did not open"
    wait_until 10 tw menuready || fail "the tray menu opened but is not tracked"
}

# Clicks item N of the open tray menu, counted as the keyboard walks them (separators skipped):
# 4 items, a separator, 3 items, a separator, then the hidden windows. Under Wine at 96 DPI an
# item is 16 pixels high and a separator 9, inside a 3-pixel frame. (After a real click on the
# shell's icon, Wine 8 does not route typed keys to the menu, though it is in front: the mouse
# chooses, as it would for most users.)
tray_menu_click_item() {
    local n=$1 left top right bottom separators=0
    tw menurect --out "$WORK/menurect.txt" || fail "no open menu to click in"
    read -r left top right bottom _ < <(tr -d '\r' <"$WORK/menurect.txt")
    [ "$n" -ge 5 ] && separators=1
    [ "$n" -ge 8 ] && separators=2
    xdotool mousemove $(((left + right) / 2)) $((top + 3 + 16 * (n - 1) + 9 * separators + 8)) click 1
}

# Chooses item N of the tray menu with real clicks: on the icon, then on the item.
tray_menu_choose() {
    tray_menu_open
    sleep 0.3
    tray_menu_click_item "$1"
    wait_until_not 10 menu_open || fail "the tray menu did not close"
}

# Closes the menu as a person does: a click elsewhere, here on the empty taskbar beside the icon
# (where no window of the test can be).
tray_menu_close() {
    local x y
    read -r x y <<<"$(tray_icon_point)"
    xdotool mousemove $((x - 24)) "$y" click 1
}

# Escape, typed as a person closes a menu, then the menu is gone. The key is typed into the
# menu's own X window: after a click on the shell's icon Wine leaves the X focus elsewhere (on the
# taskbar, or the window that was in front), and keys typed there never reach the menu's thread.
# The X focus goes back where it was: the menu's X window is gone, and Wine moves the X focus only
# when the foreground changes.
tray_menu_escape() {
    local left top right bottom xwindow focus
    tw menurect --out "$WORK/menurect.txt" || fail "no open menu to close"
    read -r left top right bottom xwindow < <(tr -d '\r' <"$WORK/menurect.txt")
    focus=$(xdotool getwindowfocus 2>/dev/null)
    xdotool windowfocus "$xwindow" 2>/dev/null
    typed_keys Escape
    wait_until_not 10 menu_open || fail "Escape did not close the tray menu"
    [ -n "$focus" ] && xdotool windowfocus "$focus" 2>/dev/null
    return 0
}

# The tray menu as the user sees it: opened with a right click on the icon, its items read from
# inside Quenvix (testwin menu puts read_hook.dll into the menu's thread), closed with Escape.
# Leaves the items in $WORK/menu.txt, one "depth|text|picture" a line (picture 1: a bitmap).
read_tray_menu() {
    tray_menu_open
    rm -f "$WORK/menu.txt"
    tw menu --out "$WORK/menu.txt" || fail "the open tray menu could not be read"
    tray_menu_escape
}

# The hidden windows' entries of the menu last read, in their order, as "text|picture": those of
# the groups ("Windows 1–40") in place of the group's own item, then the menu's own.
listed_entries() {
    tr -d '\r' <"$WORK/menu.txt" | awk -F'|' '
        { depth[NR] = $1; text[NR] = $2; picture[NR] = $3 }
        END {
            for (i = 1; i <= NR; i++) {
                if (depth[i] == 0 && text[i] == "-") { separators++; continue }
                if (separators < 2) continue
                if (depth[i] == 0 && i < NR && depth[i + 1] > 0) continue
                print text[i] "|" picture[i]
            }
        }'
}
listed_texts() { listed_entries | cut -d'|' -f1; }
# listed TITLE: the tray menu, opened and read now, lists a window with that caption.
listed() { read_tray_menu; listed_texts | grep -qxF -- "$1"; }

# Clicks the middle of the control with that text (a button by its caption) in the window with
# that title, with the real mouse, as a person does.
click_control() {
    local left top right bottom
    wait_until 10 tw ctlrect "$1" "$2" --out "$WORK/ctlrect.txt" || fail "'$1' shows no control '$2'"
    read -r left top right bottom < <(tr -d '\r' <"$WORK/ctlrect.txt")
    xdotool mousemove $(((left + right) / 2)) $(((top + bottom) / 2)) click 1
}

# Clicks the tab with that text in the window with that title, as a person turns to a page.
click_tab() {
    local left top right bottom
    wait_until 10 tw tabrect "$1" "$2" --out "$WORK/tabrect.txt" || fail "'$1' shows no tab '$2'"
    read -r left top right bottom < <(tr -d '\r' <"$WORK/tabrect.txt")
    xdotool mousemove $(((left + right) / 2)) $(((top + bottom) / 2)) click 1
}

# Clicks into the field (a control given as for click_control) and types the text into it.
type_into() {
    click_control "$1" "$2"
    typed_keys ctrl+a
    xdotool type --delay 60 "$3"
}

# Clicks the close box on the title bar of the window with that title.
click_close_box() {
    local left top right bottom
    wait_until 10 tw closebox "$1" --out "$WORK/closebox.txt" || fail "'$1' has no close box"
    read -r left top right bottom < <(tr -d '\r' <"$WORK/closebox.txt")
    xdotool mousemove $(((left + right) / 2)) $(((top + bottom) / 2)) click 1
}

# Makes the window with that title the foreground window and waits until it is.
to_front() {
    tw foreground "$1"
    wait_until 10 tw isforeground "$1" || fail "'$1' did not come to the front"
}

# Clicks the minimise box, two buttons left of the close box on the title bar.
click_minimise_box() {
    local left top right bottom
    wait_until 10 tw closebox "$1" --out "$WORK/closebox.txt" || fail "'$1' has no close box"
    read -r left top right bottom < <(tr -d '\r' <"$WORK/closebox.txt")
    xdotool mousemove $(((left + right) / 2 - 2 * (right + 2 - left))) $(((top + bottom) / 2)) click 1
}

# A visible window of ours with that title (any class).
has_title() {
    tw list --out "$WORK/list.txt"
    grep -q "^[^|]*|$1|" "$WORK/list.txt" 2>/dev/null
}

# Brings the window with that title to the front as a person does when it is not there already:
# a click on its caption.
click_forward() {
    local left top right bottom
    wait_until 3 tw isforeground "$1" && return 0
    read -r left top right bottom <<<"$(window_rect "$1")"
    xdotool mousemove $((left + 60)) $((top + 10)) click 1
    wait_until 10 tw isforeground "$1" || fail "'$1' did not come to the front"
}

# Answers the confirmation dialog with the button of that caption.
answer_confirmation() {
    wait_until 15 has_title Confirmation || fail "no confirmation was asked"
    click_forward Confirmation
    click_control Confirmation "$1"
    wait_until_not 10 has_title Confirmation || fail "the confirmation did not close"
}

# Enter on the message box in front (its default button).
answer_message_box() {
    wait_until 10 tw isforeground "$1" || fail "the message box '$1' is not in front"
    typed_keys Return
    wait_until_not 10 has_dialog "$1" || fail "the message box '$1' did not close"
}

# Brings the settings window to the front, as a double click on the icon does.
show_settings() {
    window_visible "$MAIN_CAPTION" || tray_double_click
    wait_until 10 window_visible "$MAIN_CAPTION" || fail "a double-click did not show the settings window"
    # Shown but behind another window (one hidden a moment ago hands the front to whatever is
    # next): a click on its caption brings it forward, as a person would do.
    click_forward "$MAIN_CAPTION"
}

# Help > About from the settings window's menu bar, with the keys a person would press: Alt+H
# opens "Help", and Up goes round to its last item.
choose_about() {
    show_settings
    typed_keys alt+h Up Return
}

# The hotkey recording dialog ("Changing short-key") shows that key text.
recording_shows() {
    tw children "Changing short-key" --out "$WORK/recording.txt" && grep -qF "|$1|" "$WORK/recording.txt"
}

# Held the way a person holds keys: the detector polls every 50 ms, so a press must outlast a poll.
chord() {
    local i
    for ((i = 1; i <= $#; i++)); do xdotool keydown "${!i}"; sleep 0.15; done
    sleep 0.05
    for ((i = $#; i >= 1; i--)); do xdotool keyup "${!i}"; sleep 0.1; done
}

# "left top right bottom" of a window.
window_rect() {
    tw rect "$1" --out "$WORK/rect.txt" || return 1
    tr -d '\r\n' <"$WORK/rect.txt"
}

quenvix_ended() { ! kill -0 "$QUENVIX_PID" 2>/dev/null; }

# A string value below HKEY_CURRENT_USER, read as UTF-8 (wine reg shows only the ANSI code page).
reg_text() {
    rm -f "$WORK/regtext.txt"
    tw regget "$1" "$2" --out "$WORK/regtext.txt" || return 1
    cat "$WORK/regtext.txt"
}

# The crash-recovery record of this session's copy: the value "Windows.<session id>" of section
# "Hidden" (empty output when there is none).
recovery_record() {
    local name
    name=$(wine reg query "$SETTINGS_KEY\\Hidden" 2>/dev/null | tr -d '\r' |
        awk '$1 ~ /^Windows\.[0-9]+$/ { print $1; exit }')
    [ -n "$name" ] || return 0
    reg_text 'Software\Tarmel\Quenvix\Hidden' "$name"
}

# This scenario's guardian: the Wine process of quenvix_guardian.exe (not its short-lived
# launcher), in this scenario's prefix (other scenarios may run their own).
guardian_pid() {
    local pid
    for pid in $(pgrep -f -- 'quenvix_guardian[.]exe'); do
        tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q -- '--detach' && continue
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            echo "$pid"
            return 0
        fi
    done
    return 1
}
guardian_running() { guardian_pid >/dev/null; }

# Ctrl + keypad * with the window of that title in front; true once it is hidden.
hide_by_hotkey() {
    tw foreground "$1"
    sleep 0.3
    xdotool keydown Control_L; sleep 0.15; xdotool keydown KP_Multiply; sleep 0.2
    xdotool keyup KP_Multiply; sleep 0.1; xdotool keyup Control_L
    wait_until 10 window_hidden "$1"
}

# Ends Quenvix by force with its guardian unable to act, as when both are ended together: the
# guardian is frozen first (one that is killed alone is replaced at once), then Quenvix is killed,
# then the guardian.
kill_quenvix_and_guardian() {
    local guardian
    guardian=$(guardian_pid) || guardian=""
    [ -n "$guardian" ] && kill -STOP "$guardian"
    kill -9 "$QUENVIX_PID"
    wait_until 10 quenvix_ended || fail "Quenvix could not be killed"
    if [ -n "$guardian" ]; then
        kill -9 "$guardian"
        wait_until 10 negate kill -0 "$guardian" 2>/dev/null || fail "the guardian could not be killed"
    fi
}
