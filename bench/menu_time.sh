#!/usr/bin/env bash
# The tray menu with many hidden windows: from the right button coming up on the icon (a click
# by xdotool, as the user clicks) until the menu is drawn on the screen, with WINDOWS windows hidden by
# "Panic!" (Ctrl + keypad /), beside the same click with none hidden, in the same run. Also when
# another program, asking Wine every millisecond, first saw the menu. Each is taken RUNS times;
# prints the median and the spread. The click waits until Wine's processes are quiet again (its
# shell and the owner of the windows stay busy for minutes after a thousand windows went); the
# wait goes to stderr. Usage: bench/menu_time.sh [RUNS] [WINDOWS]   (default 3 and 1000)
set -uo pipefail
source "$(dirname "$0")/lib.sh"
RUNS=${1:-3}
WINDOWS=${2:-1000}
bench_start_quenvix
# The tray icon's place and the click that closes a menu, as the end-to-end scenarios find them.
source "$QUENVIX_ROOT/tests/e2e/lib.sh"
WORK=$(mktemp -d)
# Found once, with nothing on the screen yet; the icon stays put.
tray_icon_point >/dev/null || { echo "no tray icon"; bench_end; exit 1; }

# What X maps on Wine's desktop and what is drawn on the screen, as bench/screen_watch.py says.
SCREEN="$WORK/screen"
desktop_window=$(xwininfo -root -children | awk '/Wine desktop/ {print $1; exit}')
python3 -u bench/screen_watch.py "$desktop_window" >"$SCREEN" &
SCREEN_WATCH=$!

wait_for() { for _ in $(seq 1 "$1"); do [ -f "$2" ] && return 0; sleep 0.2; done; return 1; }

# menu_time N: ms from the right click on the icon until the menu shows, with N windows hidden.
# The windows belong to one helper process and the clock to another: a program whose windows were
# just hidden and minimised is busy a long while under Wine (each minimised window looks for a
# free place among the others), and must not hold up the measurement.
menu_time() {
    local n=$1 owner="" pid result=failed i titles=()
    rm -f "$WORK/ready" "$WORK/hidden" "$WORK/time"
    if [ "$n" -gt 0 ]; then
        for ((i = 0; i < n; i++)); do titles+=("normal:Listed$i"); done
        wine build/win64/testwin.exe open "${titles[@]}" --ready "$(winepath -w "$WORK/ready")" \
            >/dev/null 2>&1 &
        owner=$!
        wait_for 900 "$WORK/ready" || { kill "$owner"; echo failed; return; }
        xdotool keydown Control_L; sleep 0.15; xdotool keydown KP_Divide; sleep 0.2
        xdotool keyup KP_Divide; sleep 0.1; xdotool keyup Control_L
        # Hidden and minimised: the last window has run every command queued before a message.
        for _ in $(seq 1 300); do window_hidden "Listed$((n - 1))" && tw answers "Listed$((n - 1))" && break; sleep 1; done
        rm -f "$WORK/ready"
    fi
    sleep 3  # Quenvix lists them after the hides
    echo "quiet after $(bench_wait_quiet 900) s" >&2
    wine build/win64/testwin.exe menutime 0 --ready "$(winepath -w "$WORK/ready")" \
        --hidden "$(winepath -w "$WORK/hidden")" --out "$(winepath -w "$WORK/time")" \
        >/dev/null 2>&1 &
    pid=$!
    if wait_for 100 "$WORK/hidden"; then
        sleep 1
        # Held long enough for the helper to see the button go down and come up.
        # shellcheck disable=SC2046
        xdotool mousemove $(tray_icon_point) mousedown 3
        sleep 0.3
        xdotool mouseup 3
        if wait_for 900 "$WORK/time"; then
            sleep 0.5
            local seen t0 x_window drawn closed
            closed=$(python3 -c 'import time; print(time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000)')
            read -r seen t0 x_window < <(tr -d '\r' <"$WORK/time")
            # The menu is on the screen once its whole window has been drawn: the last drawing
            # of all of it before it was closed (the pointer's highlight only draws one item).
            drawn=$(awk -v w="$x_window" -v t0="$t0" -v end="$closed" '
                $1 == "map" && $3 == w && $2 >= t0 && rect == "" { rect = $4 " " $5 " " $6 " " $7 }
                $1 == "drawn" && rect != "" && $3 " " $4 " " $5 " " $6 == rect && $2 < end { last = $2 }
                END { if (last) print last - t0 }' "$SCREEN")
            result="${drawn:-failed} $seen"
        fi
        tray_menu_close
    fi
    kill "$pid" $owner 2>/dev/null
    wait "$pid" $owner 2>/dev/null
    if [ -n "$owner" ]; then
        # The dead windows leave Quenvix's list at the next opening of the menu, not at the next
        # figure's.
        bench_wait_quiet 900 >/dev/null
        # shellcheck disable=SC2046
        xdotool mousemove $(tray_icon_point) click 3
        sleep 2
        tray_menu_close
    fi
    sleep 2
    echo "$result"
}

shown=() empty_seen=() full_seen=()
empty=() full=()
for _ in $(seq 1 "$RUNS"); do
    read -r shown seen <<<"$(menu_time 0)"; empty+=("$shown"); empty_seen+=("${seen:-failed}")
    read -r shown seen <<<"$(menu_time "$WINDOWS")"; full+=("$shown"); full_seen+=("${seen:-failed}")
done
echo "tray menu on the screen, nothing hidden:        $(bench_summary "${empty[@]}")"
echo "tray menu on the screen, $WINDOWS windows hidden: $(bench_summary "${full[@]}")"
echo "seen by another program, nothing hidden:        $(bench_summary "${empty_seen[@]}")"
echo "seen by another program, $WINDOWS windows hidden: $(bench_summary "${full_seen[@]}")"
kill "$SCREEN_WATCH" 2>/dev/null
bench_end
rm -rf "$WORK"
