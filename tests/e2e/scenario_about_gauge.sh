#!/usr/bin/env bash
# "About" shows the box and a key closes it; the tray gauge rises when the processor is busy.
source "$(dirname "$0")/lib.sh"
e2e_begin about_gauge

# Bright-green pixels of the gauge in the notification area (the taskbar's right end).
bright_pixels() {
    import -window root "$WORK/tray.png" 2>/dev/null
    convert "$WORK/tray.png" -crop 60x20+964+748 +repage -fill black +opaque 'rgb(0,255,0)' \
        -fill white -opaque 'rgb(0,255,0)' -format '%[fx:round(mean*w*h)]' info: 2>/dev/null
}

start_quenvix_in_tray
choose_about
wait_until 10 has_title "About Quenvix" || fail "About did not open the about box"
wait_until 10 tw isforeground "About Quenvix" || fail "the about box is not in front"
screenshot about_box
typed_keys a
wait_until_not 10 has_title "About Quenvix" || fail "a key did not close the about box"

# The quietest reading over a few seconds, then the busiest one while every core is kept busy.
quiet=1000
for _ in 1 2 3 4 5 6; do
    sleep 0.5
    q=$(bright_pixels)
    [ "${q:-1000}" -lt "$quiet" ] && quiet=$q
done
burners=()
for _ in $(seq 1 $(($(nproc) + 1))); do
    timeout 8 sh -c 'while :; do :; done' &
    burners+=($!)
done
busy=0
for _ in 1 2 3 4 5 6 7 8 9 10; do
    sleep 0.5
    b=$(bright_pixels)
    [ "${b:-0}" -gt "$busy" ] && busy=$b
done
for pid in "${burners[@]}"; do kill "$pid" 2>/dev/null; done
screenshot about_gauge_busy
[ "${busy:-0}" -gt "${quiet:-0}" ] || fail "the gauge did not rise under load (quiet $quiet, busy $busy bright pixels)"
pass "gauge: $quiet bright pixels quiet, $busy busy"
