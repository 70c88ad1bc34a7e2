#!/usr/bin/env bash
# A hung program's window does not stall hiding: the others are hidden and Quenvix keeps answering.
source "$(dirname "$0")/lib.sh"
e2e_begin hung_window

start_quenvix_in_tray
open_windows normal:Beta
# In a process of its own: a hung thread stops every window it owns.
open_windows hung:Hung
wait_until 20 negate tw answers Hung || fail "the hung window still answers"  # its thread is asleep now
tray_menu_choose "$TRAY_PANIC"
wait_until 20 window_hidden Beta || fail "Beta was not hidden next to a hung window"
wait_until 10 tw send QuenvixMainForm 0 0 0 || fail "Quenvix stopped answering after hiding a hung window"
tray_menu_open
tray_menu_close
wait_until_not 10 menu_open || fail "the tray menu did not work after hiding a hung window"
pass
