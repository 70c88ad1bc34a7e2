#!/usr/bin/env bash
# The command line reaches the running copy while it sits in a loop that is not its own: the tray
# menu (opened with a real click), a message box, and the menu bar's menu. Each of those runs its
# own message loop; the copy serves its command pipe from their idle notices.
source "$(dirname "$0")/lib.sh"
e2e_begin command_in_loops

# The option's exit code, with a bound: a copy that never serves the pipe makes the client give up
# after about 5 s, and a hung client must not hang the scenario.
command_code() {
    timeout 30 wine "$QUENVIX_EXE" "$1" >>"$WORK/client.log" 2>&1
    echo $?
}

start_quenvix_in_tray
open_windows normal:Alpha max:Maxi
tray_menu_choose "$TRAY_PANIC"
for w in Alpha Maxi; do
    wait_until 15 window_hidden "$w" || fail "Panic! did not hide $w"
done

# The tray menu: "--restore-all" is taken and carried out; the menu, whose entries it made stale,
# is closed for it.
tray_menu_open
code=$(command_code --restore-all)
[ "$code" -eq 0 ] || fail "--restore-all with the tray menu open returned $code"
for w in Alpha Maxi; do
    wait_until 15 window_visible "$w" || fail "--restore-all with the tray menu open did not bring back $w"
done
tray_menu_close
wait_until_not 10 menu_open || fail "the tray menu is still open"

# A message box of ours (the settings window's "Default" asks one): "--hide-all" hides the windows.
show_settings
click_control "$MAIN_CAPTION" Default
wait_until 10 has_dialog Confirm || fail "Default did not ask"
code=$(command_code --hide-all)
[ "$code" -eq 0 ] || fail "--hide-all with a message box open returned $code"
for w in Alpha Maxi; do
    wait_until 15 window_hidden "$w" || fail "--hide-all with a message box open did not hide $w"
done
has_dialog Confirm || fail "the message box went away with --hide-all"
answer_message_box Confirm

# The menu bar's menu (Alt+H opens "Help"): "--exit" ends the copy, and every window comes back.
show_settings
typed_keys alt+h
wait_until 10 menu_open || fail "Alt+H opened no menu"
code=$(command_code --exit)
[ "$code" -eq 0 ] || fail "--exit with the menu bar's menu open returned $code"
wait_until 20 quenvix_ended || fail "--exit with the menu bar's menu open did not end Quenvix"
wait "$QUENVIX_PID"
rc=$?
[ "$rc" -eq 0 ] || fail "Quenvix ended with code $rc"
for w in Alpha Maxi; do
    wait_until 10 window_visible "$w" || fail "$w stayed hidden after --exit"
done
pass
