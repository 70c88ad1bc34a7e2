#!/usr/bin/env bash
# Quenvix starts into the tray and nothing else: the window the user is typing in keeps the
# foreground, no window of ours shows (neither the settings window nor an empty one that Alt+Tab
# would list), and the icon is there as soon as the program is ready. Minimised, the settings
# window goes to the tray, from where it comes back.
source "$(dirname "$0")/lib.sh"
e2e_begin quiet_start

open_windows normal:Typing
tw foreground Typing
wait_until 10 tw isforeground Typing || fail "the test window did not come to the front"

set_setting Preference "Automatic update check" 0
started=$(date +%s%N)
start_quenvix
ms_since_start() { echo $((($(date +%s%N) - started) / 1000000)); }
# Watched until the start-up step (a second after the start) is well over.
icon_ms=""
while [ "$(ms_since_start)" -lt 5000 ]; do
    tw list --out "$WORK/list.txt"
    grep -q "^QuenvixMainForm|" "$WORK/list.txt" && fail "the settings window showed at the start"
    grep -q "^QuenvixApplication|" "$WORK/list.txt" && fail "an empty window of ours showed at the start"
    if [ -z "$icon_ms" ] && tray_icon_shown; then icon_ms=$(ms_since_start); fi
done
[ -n "$icon_ms" ] || fail "no tray icon within 5 s of the start"
tw isforeground Typing || fail "the start took the foreground from the window the user types in"
window_hidden "$MAIN_CAPTION" || fail "the settings window is not waiting hidden"
ready=$(quenvix_log | tr -d '\r' | grep -o 'In the tray [0-9]* ms' | tail -n 1)
echo "  measured: icon seen ${icon_ms} ms after 'wine quenvix.exe' (poll ~0.3 s); program: ${ready:-no log line}"

# Asked for, it comes up in front; still nothing empty of ours shows.
show_settings
has_window_class QuenvixApplication && fail "the empty owner window showed with the settings window"

# Its minimise (here from the system menu: Alt+Space, then "Minimize") sends it to the tray: it
# never vanishes with no way back, and a double click on the icon brings it back as it was.
typed_keys alt+space n
wait_until 10 window_hidden "$MAIN_CAPTION" || fail "minimised, the settings window is not in the tray: $(window_state "$MAIN_CAPTION")"
has_window_class QuenvixApplication && fail "the empty owner window showed"
tray_double_click
main_is_normal() { [ "$(window_state "$MAIN_CAPTION")" = "1 1 0 0" ]; }
wait_until 10 main_is_normal || fail "the minimised window did not come back from the tray: $(window_state "$MAIN_CAPTION")"
wait_until 10 tw isforeground "$MAIN_CAPTION" || fail "back from the tray, it is not in front"
pass "icon after ${icon_ms} ms"
