#!/usr/bin/env bash
# "Check update" asks the update server (a loopback one here) with the version and the
# installation id, shows the notes of a newer version, says when there is none, and shows nothing
# for a refused reply.
source "$(dirname "$0")/lib.sh"
e2e_begin update

printf 'Quenvix\r\n1.3\r\nhttp://127.0.0.1:1\r\nhttps://downloads.example/quenvix-1.3.exe\r\nFaster hiding.\r\nFewer surprises.\r\n\r\n' >"$WORK/reply.txt"
echo 200 >"$WORK/status.txt"
python3 "$(dirname "$0")/update_server.py" "$WORK/reply.txt" "$WORK/status.txt" "$WORK/requests.txt" >"$WORK/port.txt" &
E2E_PIDS+=($!)
wait_until 10 test -s "$WORK/port.txt" || fail "the update server did not start"
port=$(head -n 1 "$WORK/port.txt")
# The next base address the reply gives is the same server.
sed -i "s|http://127.0.0.1:1|http://127.0.0.1:$port|" "$WORK/reply.txt"
set_setting Update Website "http://127.0.0.1:$port"

requests_above() { [ "$(wc -l <"$WORK/requests.txt")" -gt "$1" ]; }

# A manual check whose reply is refused: the request goes out, no window comes up.
check_refused() {
    local before
    before=$(wc -l <"$WORK/requests.txt")
    tray_menu_choose "$TRAY_CHECK_UPDATE"
    wait_until 20 requests_above "$before" || fail "no request for $1"
    # The reply is in once the server has logged the request; a window would follow within the
    # second and a half given here (a good reply's window takes well under a second).
    sleep 1.5
    has_title "There is a new update" && fail "a window for $1"
    has_title "You still have the latest version" && fail "a window for $1"
}

start_quenvix_in_tray
guid=$(reg_value "$SETTINGS_KEY\\Main" GUID)
tray_menu_choose "$TRAY_CHECK_UPDATE"
wait_until 20 has_title "There is a new update" || fail "no update window for a newer version"
wait_until 10 tw isforeground "There is a new update" || fail "the update window is not in front"
screenshot update_newer
grep -qF "/Quenvix/UpdateInfo.php?currentversion=1.2&id=$guid" "$WORK/requests.txt" ||
    fail "the request was not as built: $(cat "$WORK/requests.txt")"
[ "$(reg_value "$SETTINGS_KEY\\Update" DownloadURL)" = "https://downloads.example/quenvix-1.3.exe" ] ||
    fail "the download address was not stored"
click_control "There is a new update" Close
wait_until_not 10 has_title "There is a new update" || fail "Close did not close the update window"

sed -i 's/^1\.3\r$/1.2\r/' "$WORK/reply.txt"
tray_menu_choose "$TRAY_CHECK_UPDATE"
wait_until 20 has_title "You still have the latest version" || fail "no window saying there is nothing newer"
click_control "You still have the latest version" Close
wait_until_not 10 has_title "You still have the latest version" || fail "Close did not close the update window"

# A refused reply (404, then a redirect) shows nothing and changes nothing.
for status in 404 302; do
    echo "$status" >"$WORK/status.txt"
    check_refused "an HTTP $status reply"
done
# Replies that are refused whatever the status: nothing shown, nothing written.
echo 200 >"$WORK/status.txt"
good=$(cat "$WORK/reply.txt")
for bad in "Quenvix\r\n1.3\r\nhttp://127.0.0.1:$port\r\n" \
    "Elsewhere\r\n1.3\r\nhttp://127.0.0.1:$port\r\nhttps://downloads.example/x.exe\r\n" \
    "Quenvix \r\n1.3\r\nhttp://127.0.0.1:$port\r\nhttps://downloads.example/x.exe\r\n" \
    "Quenvix\r\n1.3\r\nhttp://127.0.0.1:$port\r\nfile:///C:/Windows/System32/calc.exe\r\n"; do
    printf "$bad" >"$WORK/reply.txt"
    check_refused "a refused reply: $bad"
done
printf '%s' "$good" >"$WORK/reply.txt"
[ "$(reg_value "$SETTINGS_KEY\\Update" DownloadURL)" = "https://downloads.example/quenvix-1.3.exe" ] ||
    fail "a refused reply changed the stored download address"

# A server that takes the request and never answers: the check waits in the background, a second
# "Check update" meanwhile asks nothing more, the hotkeys and the tray menu go on, and Exit ends
# the program at once.
echo silent >"$WORK/status.txt"
before=$(wc -l <"$WORK/requests.txt")
tray_menu_choose "$TRAY_CHECK_UPDATE"
wait_until 20 requests_above "$before" || fail "no request to the silent server"
tray_menu_choose "$TRAY_CHECK_UPDATE"
open_windows normal:Alpha
to_front Alpha
chord Control_L KP_Multiply
wait_until 10 window_hidden Alpha || fail "the hide hotkey did nothing while the server was silent"
requests_above $((before + 1)) && fail "a second check started while one was waiting"
echo 200 >"$WORK/status.txt"
tray_menu_choose "$TRAY_EXIT"
answer_confirmation OK
exit_asked=$(date +%s%N)
wait_until 5 quenvix_ended || fail "Exit did not end the program while the server was silent"
echo "  measured: ended $((($(date +%s%N) - exit_asked) / 1000000)) ms after Exit was confirmed (poll 300 ms)"
wait_until 10 window_visible Alpha || fail "Exit did not bring back the hidden window"

# The automatic check at start: due (no date stored yet), its question silenced, a newer
# version: the settings window stays in the tray all along, and the update window comes up when
# the answer is in.
wine reg delete "$SETTINGS_KEY" /v "Last update check" /f >/dev/null 2>&1
set_setting Preference "Automatic update check" 1
set_setting Dialogs AutoUpdateCheck 1
sed -i 's/^1\.2\r$/1.3\r/' "$WORK/reply.txt"
start_quenvix
wait_until 30 has_title "There is a new update" || fail "the automatic check showed no update window"
window_hidden "$MAIN_CAPTION" || fail "the settings window came out of the tray for the automatic check"
click_control "There is a new update" Close
wait_until_not 10 has_title "There is a new update" || fail "Close did not close the update window"
reg_has_key "$SETTINGS_KEY" && wine reg query "$SETTINGS_KEY" /v "Last update check" >/dev/null 2>&1 ||
    fail "the automatic check stored no date"
pass
