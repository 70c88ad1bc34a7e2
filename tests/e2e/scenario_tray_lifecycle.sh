#!/usr/bin/env bash
# The program's life: into the tray after start, shown centred from the icon, the close box asks
# and hides (and can be silenced for good), "Run on startup" keeps the Run entry, Exit ends it.
source "$(dirname "$0")/lib.sh"
e2e_begin tray_lifecycle

start_quenvix_in_tray
# The gauge is in the notification area: the taskbar's right end shows its greens. Dark green is
# the idle part and bright green the load, so on a machine busy with other work the gauge can be
# all bright: both count.
gauge_greens() {
    screenshot tray_lifecycle_tray
    greens=$(convert "$E2E_LOGS/tray_lifecycle_tray.png" -crop 60x20+964+748 +repage \
        -fill magenta -opaque 'rgb(0,128,0)' -opaque 'rgb(0,255,0)' -fill black +opaque magenta \
        -fill white -opaque magenta \
        -format '%[fx:mean*w*h]' info: 2>/dev/null | cut -d. -f1)
    [ "${greens:-0}" -gt 20 ]
}
wait_until 10 gauge_greens || fail "no gauge in the notification area ($greens green pixels)"
# Idle in the tray the program has not loaded the common controls, most of what it would hold in
# memory: they come with the settings window's first showing.
tw loaded QuenvixMainForm comctl32.dll
[ $? -eq 1 ] || fail "the common controls are loaded (or could not be looked for) in the tray"

# Double-click on the icon: the settings window comes back centred on the screen.
tray_double_click
wait_until 10 window_visible "$MAIN_CAPTION" || fail "a double-click did not show the settings window"
wait_until 10 tw isforeground "$MAIN_CAPTION" || fail "the settings window did not come to the front"
read -r left top right bottom <<<"$(window_rect "$MAIN_CAPTION")"
width=$((right - left)); height=$((bottom - top))
[ $((left - (1024 - width) / 2)) -ge -1 ] && [ $((left - (1024 - width) / 2)) -le 1 ] &&
    [ $((top - (768 - height) / 2)) -ge -1 ] && [ $((top - (768 - height) / 2)) -le 1 ] ||
    fail "the window is not centred: $left $top $right $bottom"
screenshot tray_lifecycle_settings
tw loaded QuenvixMainForm comctl32.dll || fail "the settings window shows without the common controls"

# The close box asks; OK hides the window into the tray.
click_close_box "$MAIN_CAPTION"
answer_confirmation OK
wait_until 10 window_hidden "$MAIN_CAPTION" || fail "OK on the close question did not hide the window"

# Cancel leaves it shown; "Don't show this message again" then OK silences the question for good.
tray_double_click
wait_until 10 window_visible "$MAIN_CAPTION" || fail "the window did not come back"
click_close_box "$MAIN_CAPTION"
answer_confirmation Cancel
window_visible "$MAIN_CAPTION" || fail "Cancel on the close question hid the window"
click_close_box "$MAIN_CAPTION"
wait_until 15 has_title Confirmation || fail "no question on the second close"
click_control Confirmation "Don't show this message again"
confirmation_ticked() {
    tw children Confirmation --out "$WORK/box.txt" && grep -qF "|Don't show this message again|1" "$WORK/box.txt"
}
wait_until 10 confirmation_ticked || fail "the click did not tick \"Don't show this message again\""
answer_confirmation OK
[ "$(reg_value "$SETTINGS_KEY\\Dialogs" "Closing is hiding")" = 1 ] || fail "the silenced question was not remembered"
tray_double_click
wait_until 10 window_visible "$MAIN_CAPTION" || fail "the window did not come back"
click_close_box "$MAIN_CAPTION"
wait_until 10 window_hidden "$MAIN_CAPTION" || fail "a silenced close did not hide the window"
# A question comes up as the window goes; a second more is ample for one to show.
sleep 1
has_title Confirmation && fail "the silenced question was asked again"

# Run on startup: the quoted path of the program under Run; unticking removes it.
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
run=$(reg_value "$run_key" Quenvix)
case "$run" in
    \"*quenvix.exe\") ;;
    *) fail "the Run entry is not the quoted program path: '$run'" ;;
esac
[ "$(reg_value "$SETTINGS_KEY\\Main" Startup)" = 1 ] || fail "Startup was not written as 1"
tray_double_click
wait_until 10 window_visible "$MAIN_CAPTION" || fail "the window did not come back"
click_control "$MAIN_CAPTION" "Run on startup"
wait_until 10 negate reg_value "$run_key" Quenvix || fail "unticking Run on startup left the Run entry"
[ "$(reg_value "$SETTINGS_KEY\\Main" Startup)" = 0 ] || fail "Startup was not written as 0"

# "Close this menu" closes it and does nothing else.
tray_menu_choose "$TRAY_CLOSE_MENU"
# The menu closed with the click; anything the item did besides would follow within a second.
sleep 1
quenvix_ended && fail "Close this menu ended the program"
has_title Confirmation && fail "Close this menu asked something"

# The tray menu's Exit asks; clicks on the icon while the question is open ask nothing more; OK
# ends the program with exit code 0.
tray_menu_choose "$TRAY_EXIT"
wait_until 15 has_title Confirmation || fail "Exit did not ask"
screenshot tray_lifecycle_exit_question
tray_icon_click 3
tray_double_click
# The clicks are reported by the shell at once; a second question would show within a second.
sleep 1
menu_open && tray_menu_close
tw list --out "$WORK/list.txt"
[ "$(grep -c '^[^|]*|Confirmation|' "$WORK/list.txt")" -eq 1 ] || fail "clicks on the icon asked a second question"
# The double click showed the settings window, over the question: minimised, it goes to the tray
# and the question is there to answer.
if window_visible "$MAIN_CAPTION" && ! tw isforeground Confirmation; then
    click_minimise_box "$MAIN_CAPTION"
    wait_until 10 window_hidden "$MAIN_CAPTION" || fail "the settings window, shown over the open" \
        "question by the double click, does not go away with its minimise box: the question cannot" \
        "be reached ($(grep -F "|$MAIN_CAPTION|" "$WORK/list.txt"))"
fi
answer_confirmation OK
wait_until 20 quenvix_ended || fail "Exit did not end the program"
wait "$QUENVIX_PID"
code=$?
[ "$code" -eq 0 ] || fail "Exit ended with exit code $code"
pass
