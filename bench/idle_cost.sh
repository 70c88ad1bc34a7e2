#!/usr/bin/env bash
# Idle cost of the running program: CPU time used and peak working set over a stretch of time
# in the tray, for Quenvix and for its guardian process, next to an idle Wine program (the test
# helper with one window) measured the same way in the same run.
# Usage: bench/idle_cost.sh [SECONDS]   (default 60; needs a win64 build)
set -uo pipefail
source "$(dirname "$0")/lib.sh"
SECONDS_TO_MEASURE=${1:-60}
[ -n "${DISPLAY:-}" ] || { start_xvfb; trap 'kill $XVFB_PID 2>/dev/null' EXIT; }
# Ticks of 10 us, from the scheduler's nanosecond counts.
TICKS=100000

# The Windows processes behind a `wine` start: the processes of that name in the prefix.
windows_pids() {
    local name=$1 pid
    for pid in $(ps -eo pid=,comm= | awk -v n="$name" 'index($2, n) == 1 {print $1}'); do
        grep -qz "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null && echo "$pid"
    done
}
# CPU time of every thread of a process in clock ticks, from the scheduler's nanosecond counts
# (the 10 ms ticks of /proc/PID/stat are too coarse for an idle program).
cpu_ticks() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null |
        awk -v t="$TICKS" '{ns += $1} END {printf "%.0f\n", ns * t / 1e9}'
}
peak_kb() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }

measure() {
    local label=$1; shift
    bench_prefix
    wine "$@" >/dev/null 2>&1 &
    sleep 8  # start-up and, for Quenvix, going into the tray
    local exe pid pids=() labels=() before=() server server_before
    exe=$(basename "$1")
    # Quenvix's guardian is a program of its own (its process name cut to 15 characters).
    for pid in $(windows_pids "$exe") $([ "$exe" = quenvix.exe ] && windows_pids quenvix_guardia); do
        pids+=("$pid")
        if tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q -- 'quenvix_guardian'; then
            labels+=("guardian")
        else
            labels+=("$label")
        fi
        before+=("$(cpu_ticks "$pid")")
    done
    [ ${#pids[@]} -gt 0 ] || { echo "$label: process not found"; bench_end; return; }
    server=$(windows_pids wineserver | head -n 1)
    server_before=$(cpu_ticks "$server" 2>/dev/null || echo 0)
    sleep "$SECONDS_TO_MEASURE"
    local server_used i
    server_used=$(( $(cpu_ticks "$server" 2>/dev/null || echo 0) - server_before ))
    for i in "${!pids[@]}"; do
        python3 - "${labels[$i]}" "$(( $(cpu_ticks "${pids[$i]}") - before[i] ))" "$server_used" \
            "$TICKS" "$SECONDS_TO_MEASURE" "$(peak_kb "${pids[$i]}")" <<'PY'
import sys
label, used, server, ticks, secs, peak = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]), int(sys.argv[6])
print(f"{label:10s} process CPU {100.0*used/ticks/secs:6.3f} % of a core, wineserver {100.0*server/ticks/secs:6.3f} %, peak working set {peak/1024:7.1f} MiB")
PY
    done
    bench_end
}

cmake --build --preset win64 --target quenvix testwin >/dev/null
echo "idle cost over ${SECONDS_TO_MEASURE} s:"
measure idle "$QUENVIX_ROOT/build/win64/testwin.exe" open normal:Idle
measure quenvix "$QUENVIX_ROOT/build/win64/quenvix.exe"
