# Shared by the scripts that time the running program under Wine. Sourced, not run.
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
cd "$QUENVIX_ROOT" || exit 1

# A fresh prefix (WINEPREFIX) with its desktop; Quenvix's automatic update check is off there, so
# that no question waits at its start.
bench_prefix() {
    export WINEPREFIX
    WINEPREFIX=$(new_wineprefix)
    wine explorer /desktop=shell,1024x768 >/dev/null 2>&1 &
    sleep 2
    wine reg add 'HKCU\Software\Tarmel\Quenvix\Preference' /v "Automatic update check" /d 0 /f \
        >/dev/null 2>&1
}

# Builds the program and the test helper, then starts Quenvix in the tray of a fresh prefix.
bench_start_quenvix() {
    cmake --build --preset win64 --target quenvix testwin >/dev/null || exit 1
    [ -n "${DISPLAY:-}" ] || { start_xvfb; trap 'kill $XVFB_PID 2>/dev/null' EXIT; }
    bench_prefix
    wine build/win64/quenvix.exe >/dev/null 2>&1 &
    sleep 5
}

# CPU time (1/100 s) used so far by the processes of this prefix, wineserver included.
prefix_cpu_ticks() {
    local total=0 p
    for p in $(pgrep -f 'wineserver|\.exe'); do
        grep -qz "^WINEPREFIX=$WINEPREFIX\$" "/proc/$p/environ" 2>/dev/null || continue
        total=$((total + $(awk '{print $14 + $15}' "/proc/$p/stat" 2>/dev/null || echo 0)))
    done
    echo "$total"
}

# Waits, at most LIMIT seconds, until the prefix's processes together use less than a tenth of a
# core over a second: under Wine the shell and the owner of many windows stay busy long after
# the windows went, and a figure taken meanwhile would time them, not Quenvix. Prints the wait.
bench_wait_quiet() {
    local limit=$1 before after waited=0
    while [ "$waited" -lt "$limit" ]; do
        before=$(prefix_cpu_ticks); sleep 1; after=$(prefix_cpu_ticks)
        waited=$((waited + 1))
        [ $((after - before)) -lt 10 ] && break
    done
    echo "$waited"
}

bench_end() {
    wineserver -k
    rm -rf "$WINEPREFIX"
}

# "median M ms, spread MIN-MAX ms over N runs" of the numbers given ("failed" ones left out).
bench_summary() {
    python3 -c 'import sys,statistics as s; v=sorted(float(x) for x in sys.argv[1:] if x != "failed")
print(f"median {s.median(v):7.1f} ms, spread {v[0]:.1f}-{v[-1]:.1f} ms over {len(v)} runs" if v else "failed")' "$@"
}
