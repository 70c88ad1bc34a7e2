#!/usr/bin/env bash
# A forced end gives the windows back without a new start, however Quenvix is ended. The guardian
# is a program of its own (quenvix_guardian.exe), no descendant of Quenvix: with a normal, a
# minimised and a maximised window hidden, ending every process named quenvix.exe with its process
# tree, and ending the guardian first and Quenvix later (the guardian is replaced at once) each
# bring all three back in their states, and the guardian ends after its work. An uninstaller's "--restore-recorded" does nothing while a copy
# runs, and brings the windows back from the recovery record once none does.
source "$(dirname "$0")/lib.sh"
e2e_begin guardian

shown_count() { quenvix_log | grep -c 'ended without its clean exit'; }

# Hides One, Two and Three with "Panic!" from a fresh start, and waits for its guardian.
hide_three() {
    start_quenvix_in_tray
    wait_until 15 guardian_running || fail "Quenvix started no guardian ($1)"
    tray_menu_choose "$TRAY_PANIC"
    for w in One Two Three; do wait_until 15 window_hidden "$w" || fail "Panic! did not hide $w ($1)"; done
}

# All three come back in their states, and the guardian has done its work once more.
expect_back() {
    local guardian=$1 before=$2 how=$3
    for w in One Two Three; do wait_until 15 window_visible "$w" || fail "$w did not come back after $how"; done
    wait_until 10 state_is One "1 1 0 0" || fail "One is not normal after $how: $(window_state One)"
    wait_until 10 state_is Two "1 1 1 0" || fail "Two is not minimised after $how: $(window_state Two)"
    wait_until 10 state_is Three "1 1 0 1" || fail "Three is not maximised after $how: $(window_state Three)"
    wait_until 10 negate kill -0 "$guardian" || fail "the guardian did not end after its work ($how)"
    [ "$(shown_count)" = $((before + 1)) ] || fail "the guardian did not log its work once ($how): $(quenvix_log | tail -n 5)"
}

open_windows normal:One min:Two max:Three

# Every process named quenvix.exe with its whole process tree: what "taskkill /f /t /im
# quenvix.exe", Task Manager's "End process tree" and Stop-Process -Name each reach, at once.
hide_three "process tree"
guardian=$(guardian_pid)
before=$(shown_count)
tw killtree quenvix.exe || fail "no quenvix.exe to end"
wait_until 10 quenvix_ended || fail "Quenvix's process tree was not ended"
expect_back "$guardian" "$before" "every quenvix.exe and its process tree were ended"

# The guardian alone (by hand, or an antivirus): another stands in at once, with the same list.
hide_three "guardian replaced"
first=$(guardian_pid)
kill -9 "$first"
replaced() { g=$(guardian_pid) && [ "$g" != "$first" ]; }
wait_until 10 replaced || fail "the ended guardian was not replaced"
[ "$(quenvix_log | grep -c "the guardian (process [0-9]*) has ended; another is started")" = 1 ] ||
    fail "the replacement was not logged once: $(quenvix_log | tail -n 5)"
guardian=$(guardian_pid)
before=$(shown_count)
kill -9 "$QUENVIX_PID"
wait_until 10 quenvix_ended || fail "Quenvix could not be killed"
expect_back "$guardian" "$before" "the guardian was replaced and Quenvix killed"

# The uninstaller's call while the copy runs: the copy keeps its windows.
hide_three "restore-recorded"
timeout 30 wine "$QUENVIX_EXE" --restore-recorded >/dev/null 2>&1
[ $? = 0 ] || fail "--restore-recorded with a copy running did not end with 0"
# Negative check: the call has returned, so anything it did is done; a moment more for the
# windows' own threads to carry out a show it might have queued.
sleep 1
for w in One Two Three; do window_hidden "$w" || fail "--restore-recorded took $w from the running copy"; done

kill_quenvix_and_guardian
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
