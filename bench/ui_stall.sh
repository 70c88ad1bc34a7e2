#!/usr/bin/env bash
# The longest time Quenvix's UI thread leaves a message waiting while other programs make trouble:
# a probe sends it WM_NULL every 20 ms and reports the longest round trip, during
#   (a) a window that takes 20 s to hide, hidden by the hotkey,
#   (b) a window whose thread is hung, hidden by "Panic!",
#   (c) an update check against a server that takes the request and never answers,
#   (d) "Exit" with that hung window hidden,
# each time while a second window is hidden by the hotkey and brought back from the tray menu.
# The probe's sent message is answered even while the UI thread itself waits inside a sent message
# (a direct show command to another program does that), so the time that second window's round
# trip took (hotkey, menu and helper-program start-ups included) is printed next to it: hotkeys
# and tray clicks arrive as posted messages, which such a wait holds back.
# Usage: bench/ui_stall.sh [QUENVIX_EXE]   (another build of the program, e.g. an older one)
# UI_STALL_CASES="slow_hide hung_hide update_silent hung_exit" picks the cases.
# Needs a win64 build (testwin.exe is always this tree's).
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/../tests/e2e/lib.sh"
source "$HERE/../tests/e2e/stalls.sh"
cd "$QUENVIX_ROOT"
cmake --build --preset win64 --target quenvix testwin >/dev/null || exit 1
[ -n "${1:-}" ] && QUENVIX_EXE=$(realpath "$1")
AT_END=:
[ -n "${DISPLAY:-}" ] || { start_xvfb; AT_END='kill $XVFB_PID 2>/dev/null'; trap "$AT_END" EXIT; }

# A benchmark measures whatever happens: a step that does not work out is noted, not fatal.
NOTES=0
fail() { echo "  note [$SCENARIO]: $*"; NOTES=$((NOTES + 1)); }

# probe_start MS: the probe runs in the background for MS milliseconds.
probe_start() {
    rm -f "$WORK/probe.txt"
    wine "$TESTWIN_EXE" probe QuenvixMainForm "$1" --out "$(winepath -w "$WORK/probe.txt" 2>/dev/null)" \
        >/dev/null 2>&1 &
    PROBE_PID=$!
    sleep 1  # the probe is sending before anything starts
}
probe_report() {
    wait "$PROBE_PID"
    printf '%-40s %s round_trip_ms=%s\n' "$1:" \
        "$(tr -d '\r\n' <"$WORK/probe.txt" 2>/dev/null || echo "probe failed")" "$ROUND_TRIP_MS"
}
# The second window's round trip, timed.
timed_round_trip() {
    local t0 notes=$NOTES
    t0=$(date +%s%3N)
    second_window_round_trip "$1"
    if [ "$NOTES" = "$notes" ]; then
        ROUND_TRIP_MS=$(($(date +%s%3N) - t0))
    else
        ROUND_TRIP_MS=failed
    fi
}

# Each case on a desktop, prefix and program of its own.
run_case() {
    E2E_PIDS=()
    e2e_begin "$1"
    start_quenvix_in_tray
    "case_$1"
    e2e_end
    trap "$AT_END" EXIT
}

case_slow_hide() {
    open_windows slow:Slow --stall 20
    open_windows normal:Beta
    probe_start 30000
    hide_by_hotkey Slow
    timed_round_trip $((TRAY_FIRST_ENTRY + 1))
    wait_until 30 window_hidden Slow
    probe_report "(a) a window takes 20 s to hide"
}

case_hung_hide() {
    open_windows hung:Hung --hang 25
    sleep 2
    probe_start 15000
    tray_menu_choose "$TRAY_PANIC"
    open_windows normal:Beta
    timed_round_trip $((TRAY_FIRST_ENTRY + 1))
    probe_report "(b) a window's thread is hung"
}

case_update_silent() {
    echo silent >"$WORK/status.txt"
    : >"$WORK/reply.txt"
    python3 "$QUENVIX_ROOT/tests/e2e/update_server.py" "$WORK/reply.txt" "$WORK/status.txt" \
        "$WORK/requests.txt" >"$WORK/port.txt" &
    E2E_PIDS+=($!)
    wait_until 10 test -s "$WORK/port.txt" || fail "the update server did not start"
    set_setting Update Website "http://127.0.0.1:$(head -n 1 "$WORK/port.txt")"
    open_windows normal:Beta
    probe_start 15000
    tray_menu_choose "$TRAY_CHECK_UPDATE"
    wait_until 10 test -s "$WORK/requests.txt" || fail "no request reached the silent server"
    timed_round_trip "$TRAY_FIRST_ENTRY"
    probe_report "(c) the update server never answers"
}

case_hung_exit() {
    open_windows hung:Hung --hang 60
    sleep 2
    tray_menu_choose "$TRAY_PANIC"
    open_windows normal:Beta
    probe_start 15000
    timed_round_trip $((TRAY_FIRST_ENTRY + 1))
    hide_by_hotkey Beta
    exit_from_tray
    probe_report "(d) Exit with a hung window hidden"
}

echo "longest UI stall of $QUENVIX_EXE (ms):"
for c in ${UI_STALL_CASES:-slow_hide hung_hide update_silent hung_exit}; do run_case "$c"; done
