#!/usr/bin/env bash
# "Panic!" hides every ordinary window and spares tool windows, owned windows and the taskbar;
# the tray menu lists them; entries and "Restore all" bring them back in their former states;
# a window closed while hidden, or shown again by its own program, leaves the list; Exit brings
# back whatever is still hidden; the log holds the start and the exit but no caption. "Listed" is
# read from the open menu, as the user sees it.
source "$(dirname "$0")/lib.sh"
e2e_begin hiding

UNICODE_TITLE="Привет мир 中文 😀"
start_quenvix_in_tray
open_windows normal:Alpha min:Mini max:Maxi tool:Tooly owned:Owned "normal:$UNICODE_TITLE" noicon:Plain

tray_menu_choose "$TRAY_PANIC"
for w in Alpha Mini Maxi Plain "$UNICODE_TITLE"; do
    wait_until 15 window_hidden "$w" || fail "Panic! did not hide $w"
done
window_visible Tooly || fail "Panic! hid a tool window"
window_visible Owned || fail "Panic! hid an owned window"
has_window_class Shell_TrayWnd || fail "Panic! hid the taskbar"

# The menu as the user sees it: one entry per hidden window, each with its caption (the Unicode
# one intact) and its icon, and nothing for the windows that were spared.
read_tray_menu
for w in Alpha Mini Maxi "$UNICODE_TITLE"; do
    grep -qxF "$w|1" <<<"$(listed_entries)" || fail "$w is not listed with its icon: $(listed_entries | tr '\n' ';')"
done
listed_texts | grep -qxF Plain || fail "Plain is not listed: $(listed_entries | tr '\n' ';')"
[ "$(listed_entries | grep -c .)" -eq 5 ] || fail "not five entries: $(listed_entries | tr '\n' ';')"

tray_menu_choose "$TRAY_RESTORE_ALL"
for w in Alpha Plain "$UNICODE_TITLE"; do
    wait_until 15 window_visible "$w" || fail "Restore all did not bring back $w"
done
wait_until 15 window_visible Mini || fail "Restore all did not bring back Mini"
[ "$(window_state Mini)" = "1 1 1 0" ] || fail "Mini did not come back minimised: $(window_state Mini)"
wait_until 15 window_visible Maxi || fail "Restore all did not bring back Maxi"
[ "$(window_state Maxi)" = "1 1 0 1" ] || fail "Maxi did not come back maximised: $(window_state Maxi)"
[ "$(window_state Alpha)" = "1 1 0 0" ] || fail "Alpha did not come back normal: $(window_state Alpha)"

# Hidden again, the Unicode one first by the hotkey so that it is the first entry (Alpha would
# hand the keyboard to the window it owns, as Windows does for a taskbar button); one of the
# windows is closed by its program while hidden and leaves the list at the menu's next opening.
FIRST=$UNICODE_TITLE
to_front "$FIRST"
chord Control_L KP_Multiply
wait_until 15 window_hidden "$FIRST" || fail "the hotkey did not hide $FIRST"
tray_menu_choose "$TRAY_PANIC"
wait_until 15 window_hidden Plain || fail "the second Panic! did not hide Plain"
wait_until 15 window_hidden Alpha || fail "the second Panic! did not hide Alpha"
# Its own program closes it (a hidden window has no close box to click).
tw close Plain
wait_until 10 negate has_window Plain || fail "Plain did not close"
read_tray_menu
listed_texts | grep -qxF Plain && fail "a window closed while hidden is still listed"
[ "$(listed_texts | head -n 1)" = "$FIRST" ] || fail "$FIRST is not the first entry: $(listed_texts | tr '\n' ';')"

# The first entry brings back exactly that window, in its former state, in front and ready for
# the keyboard. (The others are looked at once it answers: a restore sent to them with it, to
# the same thread of the same program, would have been carried out by then.)
tray_menu_choose "$TRAY_FIRST_ENTRY"
wait_until 10 window_visible "$FIRST" || fail "the first entry did not bring back $FIRST"
tw answers "$FIRST" || fail "$FIRST does not answer"
for w in Alpha Mini Maxi; do window_hidden "$w" || fail "the first entry brought back $w too"; done
[ "$(window_state "$FIRST")" = "1 1 0 0" ] || fail "$FIRST did not come back normal: $(window_state "$FIRST")"
wait_until 10 tw isforeground "$FIRST" || fail "$FIRST came back without the foreground"

# A window that its own program shows again is no longer hidden: it leaves the list, whether the
# program restores it (SW_RESTORE) or only shows it (SW_SHOW: Maxi, minimised on its way into
# hiding, comes back minimised, its taskbar button there again).
tw reshow Alpha restore || fail "Alpha's program could not be asked to show it"
wait_until 10 state_is Alpha "1 1 0 0" || fail "Alpha's program did not show it again: $(window_state Alpha)"
tw reshow Maxi || fail "Maxi's program could not be asked to show it"
wait_until 10 window_visible Maxi || fail "Maxi's program did not show it again"
read_tray_menu
listed_texts | grep -qxF Alpha && fail "a window restored by its program is still listed"
listed_texts | grep -qxF Mini || fail "Mini left the list with the others: $(listed_texts | tr '\n' ';')"
listed_texts | grep -qxF Maxi && fail "a window shown again (minimised) by its program is still listed"

# Exit brings back everything still hidden.
tray_menu_choose "$TRAY_EXIT"
answer_confirmation OK
wait_until 20 quenvix_ended || fail "Exit did not end the program"
wait "$QUENVIX_PID"; rc=$?
[ "$rc" -eq 0 ] || fail "Exit ended with exit code $rc"
# Exit brings back the one still hidden, Mini, minimised as it was.
wait_until 10 state_is Mini "1 1 1 0" || fail "Mini did not come back minimised at Exit: $(window_state Mini)"
[ -z "$(recovery_record)" ] || fail "a clean exit left the recovery record non-empty"
# The log: the start and the exit are in it, the captions of the windows it hid are not.
quenvix_log | grep -q "Start, version" || fail "the start is not logged"
quenvix_log | grep -q "Exit, version .*code 0" || fail "the exit is not logged"
for w in Alpha Maxi Plain "$UNICODE_TITLE"; do
    quenvix_log | grep -qwF -- "$w" && fail "the log holds the caption $w"
done
pass
