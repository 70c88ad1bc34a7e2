#!/usr/bin/env bash
# Nothing lost: windows hidden by a copy that was killed are taken back by the next start, still
# hidden and listed in its tray menu; a window closed in between is not listed; "Restore all" brings them back as they were.
source "$(dirname "$0")/lib.sh"
e2e_begin recovery

start_quenvix_in_tray
open_windows normal:One min:Two max:Three normal:Gone
tray_menu_choose "$TRAY_PANIC"
for w in One Two Three Gone; do wait_until 15 window_hidden "$w" || fail "Panic! did not hide $w"; done

# Its guardian first: it would give the windows back at once (scenario_guardian), and this is
# about what the next start takes back.
kill_quenvix_and_guardian
tw close Gone
wait_until 10 negate has_window Gone || fail "Gone did not close"
for w in One Two Three; do window_hidden "$w" || fail "$w came back on its own after the kill"; done

# With both processes gone the record is all that holds them.
record=$(recovery_record)
for w in One Two Three; do grep -q " $w\$" <<<"$record" || fail "$w is not in the record after the kill: $record"; done

start_quenvix_in_tray
# Nothing may show them meanwhile; the new copy took the record as it started (it is in the tray).
for w in One Two Three; do window_hidden "$w" || fail "the new start showed $w"; done
read_tray_menu
for w in One Two Three; do listed_texts | grep -qxF "$w" || fail "$w is not listed after the new start: $(listed_texts | tr '\n' ';')"; done
listed_texts | grep -qxF Gone && fail "a window closed in between is listed"
tray_menu_choose "$TRAY_RESTORE_ALL"
wait_until 15 window_visible One || fail "Restore all did not bring back One"
wait_until 15 window_visible Two || fail "Restore all did not bring back Two"
wait_until 15 window_visible Three || fail "Restore all did not bring back Three"
[ "$(window_state One)" = "1 1 0 0" ] || fail "One is not normal: $(window_state One)"
[ "$(window_state Two)" = "1 1 1 0" ] || fail "Two is not minimised: $(window_state Two)"
[ "$(window_state Three)" = "1 1 0 1" ] || fail "Three is not maximised: $(window_state Three)"
pass
