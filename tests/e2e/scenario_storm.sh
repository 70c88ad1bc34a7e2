#!/usr/bin/env bash
# Another program sends and posts whatever it likes to every window Quenvix has (testwin storm:
# the private message range with random parameters, WM_COMMAND with every id up to 2000, the
# life-cycle messages, pointers to garbage): while windows are hidden, while the tray menu is open,
# while the Exit question is asked, and during "Restore all". Nothing may crash, no window may be
# hidden or shown, no dialog or menu may open, and Quenvix answers the user as before afterwards.
source "$(dirname "$0")/lib.sh"
e2e_begin storm

# A close request from another program ends Quenvix from the tray (as taskkill asks): a documented
# way out, so the storm spares these windows that one message. The question is spared it too: a
# close request answers it with Cancel, as its close box does.
SPARE=QuenvixMainForm,QuenvixApplication,QuenvixConfirmDlg
# Each window's sweep of the private range is bounded; a full sweep of a window takes longer
# under Wine than the scenario can spend on every window in every phase.
STORM_MS=${STORM_MS:-800}
TARGETS=(Alpha Maxi Beta)

run_storm() {
    local phase=$1 start=$SECONDS
    timeout 90 wine "$TESTWIN_EXE" storm QuenvixMainForm --ms "$STORM_MS" --spare-close "$SPARE" \
        --out "$(winepath -w "$WORK/storm-$phase.txt" 2>/dev/null)" >/dev/null 2>&1 ||
        fail "the storm ($phase) did not run"
    echo "  storm $phase ($((SECONDS - start)) s): $(head -n 1 "$WORK/storm-$phase.txt" | tr -d '\r')"
}

# Quenvix has worked off what the storm posted (sent messages overtake posted ones, so an answer
# alone does not say so): it used at most 5 clock ticks of the processor in half a second.
quenvix_quiet() {
    local before after
    before=$(awk '{ print $14 + $15 }' "/proc/$QUENVIX_PID/stat" 2>/dev/null) || return 1
    sleep 0.5
    after=$(awk '{ print $14 + $15 }' "/proc/$QUENVIX_PID/stat" 2>/dev/null) || return 1
    [ $((after - before)) -le 5 ]
}

# Quenvix runs, its windows answer, and the storm changed nothing the user can see.
unchanged_after() {
    local phase=$1 w
    quenvix_ended && fail "Quenvix ended during the storm ($phase)"
    wait_until 30 tw answers "$MAIN_CAPTION" || fail "Quenvix does not answer after the storm ($phase)"
    wait_until 60 quenvix_quiet || fail "Quenvix is still busy a minute after the storm ($phase)"
    for w in "${TARGETS[@]}"; do
        window_hidden "$w" || fail "the storm ($phase) brought back $w"
    done
    window_visible "$MAIN_CAPTION" && fail "the storm ($phase) showed the settings window"
    has_window_class '#32770' && fail "the storm ($phase) opened a message box"
    return 0
}

start_quenvix_in_tray
open_windows normal:Alpha max:Maxi normal:Beta
tray_menu_choose "$TRAY_PANIC"
for w in "${TARGETS[@]}"; do
    wait_until 15 window_hidden "$w" || fail "Panic! did not hide $w"
done

run_storm hidden
unchanged_after hidden
menu_open && fail "the storm opened a menu"
has_title Confirmation && fail "the storm asked a question"

tray_menu_open
run_storm menu
unchanged_after menu
tray_menu_close
wait_until_not 10 menu_open || fail "the tray menu did not close after the storm"

tray_menu_choose "$TRAY_EXIT"
wait_until 15 has_title Confirmation || fail "Exit asked no question"
run_storm question
unchanged_after question
has_title Confirmation || fail "the storm took the question away"
answer_confirmation Cancel
quenvix_ended && fail "Cancel on the Exit question ended Quenvix"

# "Restore all" pumps messages while it brings each window back: the storm rides along. The
# storm here lasts longer than the others (STORM_RESTORE_MS per window), so that each click has its
# whole course to be taken in.
STORM_MS=${STORM_RESTORE_MS:-1500} run_storm restore &
storm_pid=$!
storm_running() { kill -0 "$storm_pid" 2>/dev/null; }
# The storm is at work once Quenvix is kept busy.
wait_until 20 negate quenvix_quiet || fail "the storm during Restore all did not start"
storm_running || fail "the storm during Restore all ended before the click"
# The shell's callback for the right click is sent, and our own message wait opens the menu ahead
# of what the storm posted before it: the menu must be open while the storm still runs.
tray_icon_click 3
wait_until 90 menu_open || fail "the right click on the icon was lost in the storm"
storm_running || fail "the right click on the icon was taken only after the storm had ended"
wait_until 10 tw menuready || fail "the tray menu opened but is not tracked"
# The click on the item is input, which the menu's loop takes only after the storm's posted
# messages: it must be taken, never lost, however long the backlog.
tray_menu_click_item "$TRAY_RESTORE_ALL"
clicked=$SECONDS
wait_until_not 90 menu_open || fail "the click on Restore all was lost in the storm"
echo "  the click on Restore all was taken $((SECONDS - clicked)) s after it was made"
wait "$storm_pid" || fail "the storm during Restore all did not run"
for w in "${TARGETS[@]}"; do
    wait_until 15 window_visible "$w" || fail "Restore all did not bring back $w during the storm"
done
quenvix_ended && fail "Quenvix ended during the storm (restore)"

# Afterwards Quenvix serves the user as before: the menu on a real click, the command line, Exit.
tray_menu_choose "$TRAY_PANIC"
for w in "${TARGETS[@]}"; do
    wait_until 15 window_hidden "$w" || fail "Panic! after the storms did not hide $w"
done
wine "$QUENVIX_EXE" --show >>"$WORK/quenvix.log" 2>&1 || fail "--show failed after the storms"
wait_until 10 window_visible "$MAIN_CAPTION" || fail "--show did not show the settings window"
tray_menu_choose "$TRAY_EXIT"
answer_confirmation OK
wait_until 20 quenvix_ended || fail "Exit did not end Quenvix after the storms"
wait "$QUENVIX_PID"
rc=$?
[ "$rc" -eq 0 ] || fail "Exit after the storms ended with code $rc"
for w in "${TARGETS[@]}"; do
    wait_until 10 window_visible "$w" || fail "$w stayed hidden after Exit"
done
pass
