#!/usr/bin/env bash
# Pictures for a person to look at: the settings window, the about box and the notification area
# at 96, 144 and 192 DPI, side by side in build/test-logs/dpi/dpi-<DPI>.png. Each DPI gets a
# fresh prefix whose LogPixels is set before its first program starts. Expects DISPLAY.
source "$(dirname "$0")/lib.sh"
OUT="$QUENVIX_ROOT/build/test-logs/dpi"
mkdir -p "$OUT"

# crop_window TITLE FILE: the window's rectangle out of a screenshot of the desktop.
crop_window() {
    local left top right bottom
    read -r left top right bottom <<<"$(window_rect "$1")" || return 1
    import -window root "$WORK/screen.png" 2>/dev/null
    convert "$WORK/screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$2"
}

shoot() {
    local dpi=$1
    SCENARIO="dpi_$dpi"
    export WINEPREFIX
    WINEPREFIX=$(new_wineprefix)
    WORK=$(mktemp -d /tmp/quenvix-dpi.XXXXXX)
    E2E_PIDS=()
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    wineserver -w
    wine explorer /desktop=shell,1024x768 >"$WORK/desktop.log" 2>&1 &
    E2E_PIDS+=($!)
    wait_until 30 has_window_class Shell_TrayWnd || fail "the virtual desktop did not come up"
    trap e2e_end EXIT
    set_setting Preference "Automatic update check" 0
    start_quenvix
    wait_until 30 has_window "$MAIN_CAPTION" || fail "Quenvix did not start"
    sleep 2
    wine "$QUENVIX_EXE" --show >/dev/null 2>&1
    wait_until 10 window_visible "$MAIN_CAPTION" || fail "--show did not show the settings window"
    wait_until 10 tw isforeground "$MAIN_CAPTION" || fail "the settings window is not in front"
    sleep 1
    crop_window "$MAIN_CAPTION" "$WORK/settings.png" || fail "no settings window to picture"
    typed_keys alt+h Up Return
    wait_until 10 has_title "About Quenvix" || fail "About did not open the about box"
    sleep 1
    crop_window "About Quenvix" "$WORK/about.png" || fail "no about box to picture"
    # The notification area, enlarged 4 times so that the gauge's pixels can be told apart.
    convert "$WORK/screen.png" -gravity SouthEast -crop 160x64+0+0 +repage -filter point \
        -resize 400% "$WORK/tray.png"
    convert "$WORK/settings.png" "$WORK/about.png" "$WORK/tray.png" -background '#808080' \
        -gravity North +append "$OUT/dpi-$dpi.png"
    echo "dpi $dpi: $OUT/dpi-$dpi.png"
    typed_keys Escape
    timeout 30 wine "$QUENVIX_EXE" --exit >/dev/null 2>&1
    e2e_end
    trap - EXIT
}

for dpi in ${DPIS:-96 144 192}; do (shoot "$dpi"); done
