#!/usr/bin/env bash
# Timings of the real program under Wine: key-down to the foreground window hidden (20 presses of
# Ctrl + keypad *, each after a random 0-100 ms wait, so that they do not lock onto the 50 ms
# poll), and "Panic!" until 30 test windows are hidden. Needs a win64 build.
set -uo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
cd "$QUENVIX_ROOT"
cmake --build --preset win64 --target quenvix testwin >/dev/null || exit 1
[ -n "${DISPLAY:-}" ] || { start_xvfb; trap 'kill $XVFB_PID 2>/dev/null' EXIT; }
export WINEPREFIX
WINEPREFIX=$(new_wineprefix)
out=$(mktemp -d)
wine explorer /desktop=shell,1024x768 >/dev/null 2>&1 &
sleep 2
wine reg add 'HKCU\Software\Tarmel\Quenvix\Preference' /v "Automatic update check" /d 0 /f >/dev/null 2>&1
wine build/win64/quenvix.exe >/dev/null 2>&1 &
sleep 4
TW=build/win64/testwin.exe
PANIC_COMMAND=207  # the tray menu's "Panic!"
wine $TW latency 20 --out "$(winepath -w "$out/latency.txt")" >/dev/null 2>&1
echo "hotkey latency (ms, key-down to hidden): $(cat "$out/latency.txt" 2>/dev/null || echo failed)"
wine $TW panictime 30 $PANIC_COMMAND --out "$(winepath -w "$out/panic.txt")" >/dev/null 2>&1
echo "Panic! over 30 windows: $(cat "$out/panic.txt" 2>/dev/null || echo failed)"
wineserver -k
rm -rf "$WINEPREFIX" "$out"
