#!/usr/bin/env bash
# The README's pictures, made the way the end-to-end scenarios drive the program (Xvfb, a Wine
# virtual desktop, real clicks and keys) and written into docs/: the settings window, the tray
# menu with three hidden windows, and the notification area with the CPU gauge (enlarged 4 times).
# Run by hand after a change to what they show: DISPLAY=:N bash tests/e2e/readme_pictures.sh
# (scripts/lib.sh's start_xvfb gives a display), then commit docs/*.png.
source "$(dirname "$0")/lib.sh"
e2e_begin readme_pictures
DOCS="$QUENVIX_ROOT/docs"
mkdir -p "$DOCS"

# crop_rect LEFT TOP RIGHT BOTTOM FILE [MARGIN]: that part of the screen.
crop_rect() {
    local margin=${6:-0}
    import -window root "$WORK/screen.png" 2>/dev/null || fail "no screenshot"
    convert "$WORK/screen.png" -crop "$(($3 - $1 + 2 * margin))x$(($4 - $2 + 2 * margin))+$(($1 - margin))+$(($2 - margin))" \
        +repage "$5" || fail "could not crop $5"
}

start_quenvix_in_tray
sleep 3  # a few of the gauge's ticks
# The notification area with the gauge.
import -window root "$WORK/screen.png" 2>/dev/null
convert "$WORK/screen.png" -gravity SouthEast -crop 160x40+0+0 +repage -filter point -resize 400% \
    "$DOCS/tray-gauge.png" || fail "no picture of the gauge"

# The settings window, as a double click on the icon shows it.
show_settings
sleep 1
read -r left top right bottom <<<"$(window_rect "$MAIN_CAPTION")" || fail "no settings window"
crop_rect "$left" "$top" "$right" "$bottom" "$DOCS/settings-window.png"
typed_keys Escape
wait_until 10 window_hidden "$MAIN_CAPTION" || wine "$QUENVIX_EXE" --hide >/dev/null 2>&1

# Three windows hidden with Panic!, then the tray menu that lists them.
open_windows normal:Report normal:Budget normal:Notes
tray_menu_choose "$TRAY_PANIC"
for w in Report Budget Notes; do wait_until 15 window_hidden "$w" || fail "Panic! did not hide $w"; done
tray_menu_open
tw menurect --out "$WORK/menurect.txt" || fail "no open menu"
read -r left top right bottom <"$WORK/menurect.txt"
# The pointer onto the menu's first hidden window, as a person about to choose it (and away from
# the icon, whose tooltip would cover the menu's foot).
xdotool mousemove $(((left + right) / 2)) $((bottom - 12))
sleep 1
import -window root "$WORK/screen.png" 2>/dev/null || fail "no screenshot"
cp "$WORK/screen.png" "$E2E_LOGS/readme-menu-screen.png"
# The menu and the taskbar's end with the icon it belongs to.
convert "$WORK/screen.png" -gravity SouthEast -crop "$((1024 - left + 8))x$((768 - top + 8))+0+0" +repage \
    "$DOCS/tray-menu.png" || fail "no picture of the menu"
tray_menu_close
tray_menu_choose "$TRAY_RESTORE_ALL"
ls -l "$DOCS"/*.png
pass "pictures in docs/"
