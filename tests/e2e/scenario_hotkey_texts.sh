#!/usr/bin/env bash
# Hotkey texts as stored: an empty one is off (its old keys do nothing), and of two hotkeys with
# the same keys the first in the list wins ("To hide the active program" before "To hide all").
source "$(dirname "$0")/lib.sh"
e2e_begin hotkey_texts

set_setting "Short key" HideThis ""
set_setting "Short key" HideAll "CTRL+F7"
set_setting "Short key" RestoreLast "CTRL+F7"
start_quenvix_in_tray
open_windows normal:Alpha normal:Beta

# Off: Ctrl + keypad * (its default) hides nothing. The detector polls every 50 ms and hides at
# once; a second is twenty polls.
to_front Alpha
chord Control_L KP_Multiply
sleep 1
window_visible Alpha || fail "an empty hotkey text still hid the active program"

# Ctrl+F7 is "To hide all" and, further down the list, "To restore the last hidden program": the
# first wins, both windows go, and pressed again it hides (nothing more) rather than restores.
chord Control_L F7
wait_until 10 window_hidden Alpha || fail "Ctrl+F7 did not hide Alpha"
wait_until 10 window_hidden Beta || fail "Ctrl+F7 did not hide Beta"
chord Control_L F7
sleep 1
window_hidden Beta && window_hidden Alpha || fail "Ctrl+F7 pressed again restored a window: the later hotkey won"
pass
