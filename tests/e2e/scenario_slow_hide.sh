#!/usr/bin/env bash
# A program that takes 20 s to hide does not hold Quenvix up: meanwhile another window is hidden
# by the hotkey and brought back from the tray menu; the slow one stays listed while it is still
# showing, ends hidden, and comes back with the other one at Exit.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/stalls.sh"
e2e_begin slow_hide

start_quenvix_in_tray
open_windows slow:Slow --stall 20
open_windows normal:Beta
hide_by_hotkey Slow
wait_until 10 listed Slow || fail "the hotkey did not hide Slow"
# Entries in hiding order: Slow, then Beta.
second_window_round_trip $((TRAY_FIRST_ENTRY + 1))
window_visible Slow || fail "Slow was hidden before Beta's round trip ended: nothing ran meanwhile"
listed Slow || fail "Slow, still busy with its hide, was taken for a window shown again"

wait_until 40 window_hidden Slow || fail "Slow never got hidden"
listed Slow || fail "Slow left the list once hidden"

hide_by_hotkey Beta
wait_until 10 window_hidden Beta || fail "Beta was not hidden the second time"
exit_from_tray
wait_until 15 window_visible Slow || fail "Exit did not bring Slow back"
wait_until 15 window_visible Beta || fail "Exit did not bring Beta back"
[ "$(window_state Slow)" = "1 1 0 0" ] || fail "Slow is not back as it was: $(window_state Slow)"
pass
