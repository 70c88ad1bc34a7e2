#!/usr/bin/env bash
# A crash gives the windows back at once: with a normal, a minimised and a maximised window
# hidden, messages from another program that carry garbage pointers change nothing; then a fault
# inside Quenvix brings all three back in their states without any new start.
source "$(dirname "$0")/lib.sh"
e2e_begin crash

start_quenvix_in_tray
open_windows normal:One min:Two max:Three
tray_menu_choose "$TRAY_PANIC"
for w in One Two Three; do wait_until 15 window_hidden "$w" || fail "Panic! did not hide $w"; done

# WM_NOTIFY and WM_DPICHANGED with a pointer into nowhere, sent and posted from another process.
# forge post|send MSG WPARAM LPARAM: a sent one must be answered (unanswered, Quenvix hangs or
# faulted), a posted one delivered. The system may refuse to carry a message between processes
# at all (exit code 4: Wine does so for WM_NOTIFY, whose pointer it cannot copy); that is no
# failure, but at least one forgery must have reached Quenvix.
delivered=0
forge() {
    rm -f "$WORK/forged.txt"
    tw "$1" QuenvixMainForm "${@:2}" --out "$WORK/forged.txt"
    local rc=$?
    case $rc in
        0) delivered=$((delivered + 1)) ;;
        4) echo "  the system does not carry $* between processes" ;;
        *) fail "the forged $* was not taken (exit code $rc, $(cat "$WORK/forged.txt" 2>/dev/null))" ;;
    esac
}
forge send 0x004E 1 16
forge send 0x02E0 0x01800180 16
forge post 0x004E 1 16
forge post 0x02E0 0x01800180 16
[ "$delivered" -ge 1 ] || fail "no forged message reached Quenvix"
# The posted ones wait behind anything sent: a second is ample for two messages to be taken and
# for a fault or a shown window to follow.
sleep 1
quenvix_ended && fail "a forged message brought Quenvix down"
for w in One Two Three; do window_hidden "$w" || fail "a forged message showed $w"; done

crashed_at=$(date +%s%N)
tw crash QuenvixMainForm || fail "could not start the faulting thread in Quenvix"
wait_until 15 window_visible One || fail "One did not come back after the crash"
wait_until 15 window_visible Two || fail "Two did not come back after the crash"
wait_until 15 window_visible Three || fail "Three did not come back after the crash"
back_ms=$((($(date +%s%N) - crashed_at) / 1000000))
wait_until 10 state_is One "1 1 0 0" || fail "One is not normal: $(window_state One)"
wait_until 10 state_is Two "1 1 1 0" || fail "Two is not minimised: $(window_state Two)"
wait_until 10 state_is Three "1 1 0 1" || fail "Three is not maximised: $(window_state Three)"
wait_until 15 quenvix_ended || fail "Quenvix did not end after the crash"
pass "all three back within $back_ms ms of the fault (helper start and polling included)"
