#!/usr/bin/env bash
# Hotkey latency of the real program under Wine: key-down to the foreground window hidden (20
# presses of Ctrl + keypad *, each after a random 0-100 ms wait, so that they do not lock onto the
# 50 ms poll). "Panic!" over 30 windows is bench/panic_time.sh. Needs a win64 build.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
bench_start_quenvix
out=$(mktemp -d)
wine build/win64/testwin.exe latency 20 --out "$(winepath -w "$out/latency.txt")" >/dev/null 2>&1
echo "hotkey latency (ms, key-down to hidden): $(cat "$out/latency.txt" 2>/dev/null || echo failed)"
bench_end
rm -rf "$out"
