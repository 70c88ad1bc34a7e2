#!/usr/bin/env bash
# A forced end gives the windows back without a new start: with a normal, a minimised and a
# maximised window hidden, `kill -9` of Quenvix (no crash filter runs) and its guardian brings all
# three back in their states, then ends. With the guardian killed as well, the windows wait; an
# uninstaller's "--restore-recorded" does nothing while a copy runs, and brings them back from the
# recovery record once none does.
source "$(dirname "$0")/lib.sh"
e2e_begin guardian

program_log() { cat "$WINEPREFIX"/drive_c/users/*/AppData/Local/Quenvix/quenvix.log 2>/dev/null; }

start_quenvix_in_tray
wait_until 15 guardian_running || fail "Quenvix started no guardian"
open_windows normal:One min:Two max:Three
tray_menu_choose "$TRAY_PANIC"
for w in One Two Three; do wait_until 15 window_hidden "$w" || fail "Panic! did not hide $w"; done

guardian=$(guardian_pid)
kill -9 "$QUENVIX_PID"
wait_until 10 quenvix_ended || fail "Quenvix could not be killed"
for w in One Two Three; do wait_until 15 window_visible "$w" || fail "$w did not come back after the kill"; done
wait_until 10 state_is One "1 1 0 0" || fail "One is not normal: $(window_state One)"
wait_until 10 state_is Two "1 1 1 0" || fail "Two is not minimised: $(window_state Two)"
wait_until 10 state_is Three "1 1 0 1" || fail "Three is not maximised: $(window_state Three)"
wait_until 10 negate kill -0 "$guardian" || fail "the guardian did not end after its work"
[ "$(program_log | grep -c 'ended without its clean exit')" = 1 ] ||
    fail "the guardian did not log its work once: $(program_log | tail -n 5)"

# A second copy with its guardian killed alone: it goes on, and says so once in its log.
start_quenvix_in_tray
wait_until 15 guardian_running || fail "the second start made no guardian"
kill -9 "$(guardian_pid)"
wait_until 10 negate guardian_running || fail "the guardian could not be killed"
tray_menu_choose "$TRAY_PANIC"
for w in One Two Three; do wait_until 15 window_hidden "$w" || fail "Panic! did not hide $w again"; done
wait_until 10 eval 'program_log | grep -q "the guardian (process [0-9]*) has ended"' ||
    fail "the lost guardian was not logged"

# The uninstaller's call while the copy runs: the copy keeps its windows.
timeout 30 wine "$QUENVIX_EXE" --restore-recorded >/dev/null 2>&1
[ $? = 0 ] || fail "--restore-recorded with a copy running did not end with 0"
# It has ended: anything it showed would be showing within the second given here.
sleep 1
for w in One Two Three; do window_hidden "$w" || fail "--restore-recorded took $w from the running copy"; done

kill -9 "$QUENVIX_PID"
wait_until 10 quenvix_ended || fail "Quenvix could not be killed the second time"
# A guardian brings them back within a second of the kill (above); nobody is left to do so here.
sleep 1
for w in One Two Three; do window_hidden "$w" || fail "$w came back without a guardian"; done
[ -n "$(recovery_record)" ] || fail "the recovery record is empty after the kill"

timeout 30 wine "$QUENVIX_EXE" --restore-recorded >/dev/null 2>&1
[ $? = 0 ] || fail "--restore-recorded did not end with 0"
for w in One Two Three; do wait_until 15 window_visible "$w" || fail "--restore-recorded did not bring back $w"; done
wait_until 10 state_is One "1 1 0 0" || fail "One is not normal after --restore-recorded: $(window_state One)"
wait_until 10 state_is Two "1 1 1 0" || fail "Two is not minimised after --restore-recorded: $(window_state Two)"
wait_until 10 state_is Three "1 1 0 1" || fail "Three is not maximised after --restore-recorded: $(window_state Three)"
[ -z "$(recovery_record)" ] || fail "--restore-recorded left the record: $(recovery_record)"
pass
