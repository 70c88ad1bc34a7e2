# Shared by the scenarios (and bench/ui_stall.sh) in which another program is slow to hide or
# hung: what the user must still be able to do meanwhile. Sourced after lib.sh.

# Held the way a person holds keys: the detector polls every 50 ms, so a press must outlast a poll.
# The keys go to the Wine desktop's own window: under Wine the X focus may sit on the window of a
# program whose thread is stalled, and that thread would hold the keys back until it wakes up.
press_chord() {
    local desktop
    desktop=$(xdotool search --name 'Wine desktop' 2>/dev/null | head -n 1)
    [ -n "$desktop" ] && xdotool windowfocus "$desktop" 2>/dev/null
    xdotool keydown "$1"; sleep 0.15
    xdotool keydown "$2"; sleep 0.2
    xdotool keyup "$2"; sleep 0.1
    xdotool keyup "$1"; sleep 0.1
}

# Makes the window with that title the foreground window and presses the "HideThis" hotkey.
hide_by_hotkey() {
    to_front "$1"
    press_chord Control_L KP_Multiply
}

# Beta is hidden by the hotkey and brought back by the tray menu's entry at position ENTRY.
second_window_round_trip() {
    hide_by_hotkey Beta
    wait_until 10 window_hidden Beta || fail "Beta was not hidden by the hotkey meanwhile"
    tray_menu_choose "$1"
    wait_until 10 window_visible Beta || fail "the tray menu did not bring Beta back meanwhile"
}

# "Exit" from the tray menu, confirmed; the program must end promptly.
exit_from_tray() {
    tray_menu_choose "$TRAY_EXIT"
    answer_confirmation OK
    wait_until 20 quenvix_ended || fail "Exit did not end the program"
}
