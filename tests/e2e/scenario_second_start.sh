#!/usr/bin/env bash
# A second start shows the program: after the "already running" box the first copy's settings
# window shows and is in front, and what the user types reaches it (a control of it, read back),
# never a hidden window. With a question of the first copy open, the settings window waits for
# the answer and then comes forward, over the window that was in front.
source "$(dirname "$0")/lib.sh"
e2e_begin second_start

# What a control of a window shows, read from outside ("class|text|checked" lines).
child_text() {
    tw children "$1" --out "$WORK/children.txt" || return 1
    grep "^$2|" "$WORK/children.txt" | head -n 1 | cut -d'|' -f2
}
second_start() {
    wine "$QUENVIX_EXE" >"$WORK/second.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_until 20 has_dialog "Quenvix" || fail "the second copy shows no message"
    answer_message_box Quenvix
}

start_quenvix_in_tray
open_windows editor:Notes
tw foreground Notes
wait_until 10 tw isforeground Notes || fail "the editor did not come to the front"
typed_keys a b c
wait_until 10 test "$(child_text Notes Edit)" = abc || fail "typing did not reach the editor"

second_start
wait_until 10 window_visible "$MAIN_CAPTION" || fail "a second start did not show the settings window"
wait_until 10 tw isforeground "$MAIN_CAPTION" || fail "the settings window is not in front"
screenshot second_start_shown
# The keys go to the window in front, to its hotkey list: the next hotkey is chosen and its keys
# show beside it. The editor has nothing more.
before=$(child_text "$MAIN_CAPTION" Edit)
[ "$before" = "CTRL+* Num" ] || fail "the settings window does not show the first hotkey: '$before'"
typed_keys Down
wait_until 10 test "$(child_text "$MAIN_CAPTION" Edit)" = "CTRL+/ Num" ||
    fail "typed keys did not reach the settings window: '$(child_text "$MAIN_CAPTION" Edit)'"
[ "$(child_text Notes Edit)" = abc ] || fail "the keys went to the editor"

# Into the tray again by its minimise box, and the editor in front: then Exit's question from the
# tray is open when the program is started again.
click_minimise_box "$MAIN_CAPTION"
wait_until 10 window_hidden "$MAIN_CAPTION" || fail "the settings window did not go into the tray"
tw foreground Notes
tray_menu_choose "$TRAY_EXIT"
wait_until 15 has_title Confirmation || fail "Exit asked no question"
second_start
sleep 1
window_hidden "$MAIN_CAPTION" || fail "the settings window showed while the question was open"
click_control Confirmation Cancel
wait_until_not 10 has_title Confirmation || fail "the question did not close"
wait_until 10 window_visible "$MAIN_CAPTION" || fail "the settings window did not show after the question"
wait_until 10 tw isforeground "$MAIN_CAPTION" || fail "the settings window is not in front after the question"
kill -0 "$QUENVIX_PID" 2>/dev/null || fail "the first copy ended"
pass
