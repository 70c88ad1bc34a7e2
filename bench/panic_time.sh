#!/usr/bin/env bash
# "Panic!" as the user starts it: Ctrl + keypad / typed with xdotool, from the key going down
# until every one of 30 windows is off the screen and stays off (as the windows' own thread sees
# it: a window shown again on its way out counts with its last hide), beside the single hide
# (Ctrl + keypad * on the one window in front) measured the same way in the same run. Each is
# taken RUNS times; prints the median and the spread, and how often a window was shown again
# after its hide.
# Usage: bench/panic_time.sh [RUNS] [WINDOWS]   (default 3 and 30; needs a win64 build)
set -uo pipefail
source "$(dirname "$0")/lib.sh"
RUNS=${1:-3}
WINDOWS=${2:-30}
VK_MULTIPLY=106
VK_DIVIDE=111
bench_start_quenvix
out=$(mktemp -d)

# hide_time WINDOWS VK KEY: "MS SHOWN", ms from KEY going down (Ctrl held) until every window is
# hidden for good, and the windows shown again meanwhile.
hide_time() {
    local n=$1 vk=$2 key=$3 pid
    rm -f "$out/ready" "$out/time"
    wine build/win64/testwin.exe hidetime "$n" "$vk" --ready "$(winepath -w "$out/ready")" \
        --out "$(winepath -w "$out/time")" >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1 100); do [ -f "$out/ready" ] && break; sleep 0.2; done
    xdotool keydown Control_L; sleep 0.15; xdotool keydown "$key"; sleep 0.2
    xdotool keyup "$key"; sleep 0.1; xdotool keyup Control_L
    wait "$pid"
    tr -d '\r\n' <"$out/time" 2>/dev/null || echo "failed 0"
}

single=() panic=() shown=0
for _ in $(seq 1 "$RUNS"); do
    read -r ms again <<<"$(hide_time 1 $VK_MULTIPLY KP_Multiply)"
    single+=("$ms")
    shown=$((shown + again))
    sleep 1
    read -r ms again <<<"$(hide_time "$WINDOWS" $VK_DIVIDE KP_Divide)"
    panic+=("$ms")
    shown=$((shown + again))
    sleep 1
done
echo "single hide (Ctrl + keypad *, 1 window):      $(bench_summary "${single[@]}")"
echo "Panic! (Ctrl + keypad /, $WINDOWS windows):       $(bench_summary "${panic[@]}")"
echo "windows shown again on their way out:         $shown"
bench_end
rm -rf "$out"
