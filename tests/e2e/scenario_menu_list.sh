#!/usr/bin/env bash
# The tray menu lists exactly the windows that are hidden, as the user sees it: opened with real
# clicks on the icon, a window its own program showed again (minimised or not) and one that was
# closed while hidden are gone from the menu at its next opening. The entries are counted on the
# screen, from the open menu's height (each entry is one row), not read from the program's record.
source "$(dirname "$0")/lib.sh"
e2e_begin menu_list

start_quenvix_in_tray
open_windows normal:Alpha min:Mini normal:Gamma normal:Delta

# The open menu's height in pixels, as it stands on the screen.
menu_height() {
    local left top right bottom
    tray_menu_open
    sleep 0.3
    tw menurect --out "$WORK/menurect.txt" || fail "no open menu to measure"
    read -r left top right bottom _ <"$WORK/menurect.txt"
    screenshot "menu_list_$1"
    tray_menu_close
    wait_until_not 10 menu_open || fail "the tray menu did not close"
    echo $((bottom - top))
}

empty=$(menu_height empty)
tray_menu_choose "$TRAY_PANIC"
for w in Alpha Mini Gamma Delta; do
    wait_until 15 window_hidden "$w" || fail "Panic! did not hide $w"
done
four=$(menu_height four)
row=$(((four - empty) / 4))
[ "$row" -ge 16 ] && [ $((empty + 4 * row)) -eq "$four" ] ||
    fail "four hidden windows do not make four rows: $empty px empty, $four px with them"

# Their programs show two of them again (one comes back minimised, as it was), one closes.
tw showself Alpha || fail "Alpha could not be told to show"
tw showself Mini || fail "Mini could not be told to show"
tw close Gamma || fail "Gamma could not be told to close"
wait_until 10 window_visible Alpha || fail "Alpha's program did not show it"
wait_until 10 window_visible Mini || fail "Mini's program did not show it"
wait_until 10 negate has_window Gamma || fail "Gamma did not close"
one=$(menu_height one)
[ "$one" -eq $((empty + row)) ] ||
    fail "the menu shows $(((one - empty) / row)) entries ($one px), not the one still hidden"

# The one left is Delta: chosen from the menu, it comes back and the menu is empty again.
tray_menu_choose 8
wait_until 15 window_visible Delta || fail "the last entry did not bring back Delta"
[ "$(menu_height none)" -eq "$empty" ] || fail "the menu still lists a window"
pass
