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

# WM_NOTIFY and WM_DPICHANGED with a pointer into nowhere, sent and posted from another process:
# each sent one is answered (a fault would leave it unanswered), each posted one is delivered.
tw send QuenvixMainForm 0x004E 1 16 || fail "a forged WM_NOTIFY sent was not answered"
tw send QuenvixMainForm 0x02E0 0x01800180 16 || fail "a forged WM_DPICHANGED sent was not answered"
tw post QuenvixMainForm 0x004E 1 16 || fail "a forged WM_NOTIFY could not be posted"
tw post QuenvixMainForm 0x02E0 0x01800180 16 || fail "a forged WM_DPICHANGED could not be posted"
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
sleep 0.5
[ "$(window_state One)" = "1 1 0 0" ] || fail "One is not normal: $(window_state One)"
[ "$(window_state Two)" = "1 1 1 0" ] || fail "Two is not minimised: $(window_state Two)"
[ "$(window_state Three)" = "1 1 0 1" ] || fail "Three is not maximised: $(window_state Three)"
wait_until 15 quenvix_ended || fail "Quenvix did not end after the crash"
pass "all three back within $back_ms ms of the fault (helper start and polling included)"
