#!/usr/bin/env bash
# The keys go where the user expects them: a window hidden by the hotkey and brought back from the
# tray menu takes the text typed next, and after the tray menu is opened and closed with Escape the
# text goes on into the window that had it before. What was typed is read back from the window.
source "$(dirname "$0")/lib.sh"
e2e_begin typing

# The text in the editor window's field.
field_text() {
    tw children Editor --out "$WORK/field.txt" || return 1
    tr -d '\r' <"$WORK/field.txt" | awk -F'|' '$1 == "Edit" { print $2; exit }'
}
field_is() { [ "$(field_text)" = "$1" ]; }

start_quenvix_in_tray
open_windows edit:Editor normal:Other
to_front Editor
xdotool type --delay 60 "abc"
wait_until 10 field_is abc || fail "typing did not reach the editor to begin with: '$(field_text)'"

chord Control_L KP_Multiply
wait_until 10 window_hidden Editor || fail "the hotkey did not hide the editor"
# The hotkey's keys are the user's own: the editor may have taken them as text too.
base=$(field_text)
to_front Other
tray_menu_choose "$TRAY_FIRST_ENTRY"
wait_until 10 window_visible Editor || fail "the tray menu's entry did not bring the editor back"
wait_until 10 tw isforeground Editor ||
    fail "the editor came back without the foreground (Other $(tw isforeground Other && echo is || echo is not) in front)"
xdotool type --delay 60 "def"
wait_until 10 field_is "${base}def" || fail "the text typed after the restore did not reach the editor: '$(field_text)'"

# Opened and closed with Escape, the tray menu hands the keys back to the editor.
tray_menu_open
tray_menu_escape
wait_until 10 tw isforeground Editor || fail "the editor did not get the foreground back after Escape"
xdotool type --delay 60 "ghi"
wait_until 10 field_is "${base}defghi" || fail "the text typed after the menu did not reach the editor: '$(field_text)'"
pass
