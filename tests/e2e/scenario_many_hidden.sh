#!/usr/bin/env bash
# More than twenty hidden windows: the newest twenty are entries of the tray menu itself, the older
# ones are in submenus of forty named by their places ("Windows 1–40", "Windows 41–45"), every
# entry with its caption and icon; after a churn of short-lived windows, hidden windows closed by
# their program leave the list and the groups are numbered afresh.
source "$(dirname "$0")/lib.sh"
e2e_begin many_hidden

COUNT=65
names=()
# Minimised, so that they leave the taskbar and its icon uncovered.
for i in $(seq 1 $COUNT); do names+=("min:Many $i"); done
start_quenvix_in_tray
open_windows "${names[@]}"
# Hidden all at once by the hotkey (while the shell is still busy with the new windows'
# taskbar buttons, a click on the icon may wait long for its turn).
chord Control_L KP_Divide
for i in 1 $COUNT; do wait_until 60 window_hidden "Many $i" || fail "Ctrl + keypad / did not hide Many $i"; done
all_hidden() {
    local i
    for i in $(seq 1 $COUNT); do window_hidden "Many $i" || return 1; done
}
wait_until 60 all_hidden || fail "Ctrl + keypad / did not hide all $COUNT windows"

read_tray_menu
entries=$(tr -d '\r' <"$WORK/menu.txt" | awk -F'|' 'separators >= 2 { print } $1 == 0 && $2 == "-" { separators++ }')
groups=$(awk -F'|' '$1 == 0 && $2 ~ /^Windows / { print $2 }' <<<"$entries")
[ "$groups" = "$(printf 'Windows 1\u201340\nWindows 41\u201345')" ] || fail "the groups are not '1–40' and '41–45': $groups"
[ "$(awk -F'|' '$1 == 1' <<<"$entries" | grep -c .)" -eq 45 ] || fail "not 45 entries in the groups"
[ "$(awk -F'|' '$1 == 0 && $2 !~ /^Windows /' <<<"$entries" | grep -c .)" -eq 20 ] ||
    fail "not twenty entries in the menu itself"
listed_entries | grep -v '|1$' && fail "entries without their icon"
# Every window once.
[ "$(listed_texts | sort -u | grep -c '^Many [0-9]*$')" -eq $COUNT ] || fail "not every window is listed once"

# After a churn of short-lived windows, two hidden ones are closed by their program, one in a group
# and one in the menu itself: both leave the list, the newest of the groups moves up into the
# menu, and the groups are numbered afresh.
tw churn 200 || fail "the short-lived windows did not run"
first=$(listed_texts | head -n 1)
last=$(listed_texts | tail -n 1)
tw close "$first"
tw close "$last"
wait_until 10 negate has_window "$first" || fail "$first did not close"
wait_until 10 negate has_window "$last" || fail "$last did not close"
read_tray_menu
listed_texts | grep -qxF "$first" && fail "$first, closed while hidden, is still listed"
listed_texts | grep -qxF "$last" && fail "$last, closed while hidden, is still listed"
[ "$(listed_entries | grep -c .)" -eq $((COUNT - 2)) ] || fail "not $((COUNT - 2)) entries after two closed"
groups=$(tr -d '\r' <"$WORK/menu.txt" | awk -F'|' '$1 == 0 && $2 ~ /^Windows [0-9]/ { print $2 }')
[ "$groups" = "$(printf 'Windows 1\u201339\nWindows 40\u201343')" ] || fail "the groups are not renumbered: $groups"
pass
