#!/usr/bin/env bash
# Idle cost of the running program: CPU time used and peak working set over a stretch of time
# in the tray, next to an idle Wine program (the test helper with one window) measured the same
# way in the same run. Usage: bench/idle_cost.sh [SECONDS]   (default 60; needs a win64 build)
set -uo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
cd "$QUENVIX_ROOT"
SECONDS_TO_MEASURE=${1:-60}
[ -n "${DISPLAY:-}" ] || { start_xvfb; trap 'kill $XVFB_PID 2>/dev/null' EXIT; }
# Ticks of 10 us, from the scheduler's nanosecond counts.
TICKS=100000

# The Windows process behind a `wine` start: the process of that name in the prefix.
windows_pid() {
    local name=$1 pid
    for pid in $(ps -eo pid=,comm= | awk -v n="$name" 'index($2, n) == 1 {print $1}'); do
        if grep -qz "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null; then echo "$pid"; return; fi
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
    export WINEPREFIX
    WINEPREFIX=$(new_wineprefix)
    wine explorer /desktop=shell,1024x768 >/dev/null 2>&1 &
    sleep 3
    # Idle means in the tray: in a fresh prefix the monthly update check would be due and ask
    # its question, which would stay open the whole time.
    wine reg add 'HKCU\Software\Tarmel\Quenvix\Preference' /v "Automatic update check" /d 0 /f \
        >/dev/null 2>&1
    wine "$@" >/dev/null 2>&1 &
    sleep 8  # start-up and, for Quenvix, going into the tray
    local exe pid
    exe=$(basename "$1")
    pid=$(windows_pid "$exe")
    [ -n "$pid" ] || { echo "$label: process not found"; wineserver -k; return; }
    local server before server_before
    server=$(windows_pid wineserver)
    before=$(cpu_ticks "$pid")
    server_before=$(cpu_ticks "$server" 2>/dev/null || echo 0)
    sleep "$SECONDS_TO_MEASURE"
    local used server_used
    used=$(( $(cpu_ticks "$pid") - before ))
    server_used=$(( $(cpu_ticks "$server" 2>/dev/null || echo 0) - server_before ))
    python3 - "$label" "$used" "$server_used" "$TICKS" "$SECONDS_TO_MEASURE" "$(peak_kb "$pid")" <<'PY'
import sys
label, used, server, ticks, secs, peak = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]), int(sys.argv[6])
print(f"{label:10s} process CPU {100.0*used/ticks/secs:6.3f} % of a core, wineserver {100.0*server/ticks/secs:6.3f} %, peak working set {peak/1024:7.1f} MiB")
PY
    WINEPREFIX="$WINEPREFIX" wineserver -k
    rm -rf "$WINEPREFIX"
}

cmake --build --preset win64 --target quenvix testwin >/dev/null
echo "idle cost over ${SECONDS_TO_MEASURE} s:"
measure idle "$QUENVIX_ROOT/build/win64/testwin.exe" open normal:Idle
measure quenvix "$QUENVIX_ROOT/build/win64/quenvix.exe"
