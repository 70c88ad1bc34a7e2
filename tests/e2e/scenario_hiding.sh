#!/usr/bin/env bash
# "Panic!" hides every ordinary window and spares tool windows, owned windows and the taskbar;
# the tray menu lists them; entries and "Restore all" bring them back in their former states;
# a window closed while hidden leaves the list; Exit brings back whatever is still hidden.
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
grep -q "$UNICODE_TITLE" <<<"$(recovery_record)" ||
    fail "the recovery record does not hold the Unicode caption"

# The open menu, for a look: fixed items, then one entry per hidden window.
tray_menu_open
sleep 0.5
screenshot hiding_menu
tray_menu_close
wait_until_not 10 menu_open || fail "the tray menu did not close"

tray_menu_choose "$TRAY_RESTORE_ALL"
for w in Alpha Plain "$UNICODE_TITLE"; do
    wait_until 15 window_visible "$w" || fail "Restore all did not bring back $w"
done
wait_until 15 window_visible Mini || fail "Restore all did not bring back Mini"
[ "$(window_state Mini)" = "1 1 1 0" ] || fail "Mini did not come back minimised: $(window_state Mini)"
wait_until 15 window_visible Maxi || fail "Restore all did not bring back Maxi"
[ "$(window_state Maxi)" = "1 1 0 1" ] || fail "Maxi did not come back maximised: $(window_state Maxi)"
[ "$(window_state Alpha)" = "1 1 0 0" ] || fail "Alpha did not come back normal: $(window_state Alpha)"

# Hidden again; one of them is closed while hidden and leaves the list at the menu's next opening.
tray_menu_choose "$TRAY_PANIC"
wait_until 15 window_hidden Plain || fail "the second Panic! did not hide Plain"
wait_until 15 window_hidden Alpha || fail "the second Panic! did not hide Alpha"
tw close Plain
wait_until 10 negate has_window Plain || fail "Plain did not close"
tray_menu_open
tray_menu_close
wait_until_not 10 menu_open || fail "the tray menu did not close"
grep -q "Plain" <<<"$(recovery_record)" &&
    fail "a window closed while hidden is still listed"

# The first entry brings back exactly one window, in its former state, in front and ready for
# the keyboard.
tray_menu_choose "$TRAY_FIRST_ENTRY"
sleep 2
back=0
for w in Alpha Mini Maxi "$UNICODE_TITLE"; do window_visible "$w" && back=$((back + 1)) && shown=$w; done
[ "$back" -eq 1 ] || fail "the first entry brought back $back windows"
[ "$shown" = Mini ] || wait_until 10 tw isforeground "$shown" ||
    fail "$shown came back without the foreground"

# Exit brings back everything still hidden.
tray_menu_choose "$TRAY_EXIT"
answer_confirmation OK
wait_until 20 quenvix_ended || fail "Exit did not end the program"
wait "$QUENVIX_PID"; rc=$?
[ "$rc" -eq 0 ] || fail "Exit ended with exit code $rc"
for w in Alpha Mini Maxi "$UNICODE_TITLE"; do
    wait_until 10 window_visible "$w" || fail "$w stayed hidden after Exit"
done
[ "$(window_state Maxi)" = "1 1 0 1" ] || fail "Maxi did not come back maximised at exit"
[ -z "$(recovery_record)" ] || fail "a clean exit left the recovery record non-empty"
pass "the first entry brought back $shown"
