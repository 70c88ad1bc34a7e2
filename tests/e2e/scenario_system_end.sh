#!/usr/bin/env bash
# The session's end as the system itself runs it (wineboot --end-session: every program's windows
# are asked whether the session may end, then told it ends, program by program): Quenvix, asked
# first, shows the windows it hides, so that each program is asked with its window on the screen
# and in its former state; Quenvix ends and leaves no record to take back. (Beforehand, a single
# left click on the icon opens its menu as a right click does.)
#
# Wine asks the programs in the order of their process ids (programs/wineboot/shutdown.c), not by
# their shutdown level as Windows does: Quenvix is started first, so it is asked first here as it
# is on Windows by its level. That Quenvix sets the level that puts it first is checked where the
# level is set (win_application_test); this scenario checks what the user sees of the end.
source "$(dirname "$0")/lib.sh"
e2e_begin system_end

start_quenvix_in_tray
open_windows normal:Alpha max:Maxi --session-log "$(winepath -w "$WORK/asked.txt" 2>/dev/null)"
tray_menu_choose "$TRAY_PANIC"
for w in Alpha Maxi; do wait_until 15 window_hidden "$w" || fail "Panic! did not hide $w"; done
read_tray_menu
for w in Alpha Maxi; do
    listed_texts | grep -qxF "$w" || fail "$w is not listed: $(listed_texts | tr '\n' ';')"
done

# A single left click opens the same menu too, once the double-click time has passed.
tray_icon_click 1
wait_until 10 menu_open || fail "a single left click did not open the tray menu"
wait_until 10 tw menuready || fail "the tray menu opened by a left click is not tracked"
tray_menu_escape

timeout 90 wine wineboot --end-session >/dev/null 2>&1 || fail "wineboot --end-session failed ($?)"
wait_until 20 quenvix_ended || fail "Quenvix did not end with the session"
wait_until 20 test -s "$WORK/asked.txt" || fail "the test windows' program was never asked"
asked=$(tr -d '\r' <"$WORK/asked.txt")
grep -qx "Alpha|1|0" <<<"$asked" || fail "Alpha was not shown, as it was, when its program was asked: $asked"
grep -qx "Maxi|1|1" <<<"$asked" || fail "Maxi was not shown maximised when its program was asked: $asked"
[ -z "$(recovery_record)" ] || fail "the session's end left the recovery record filled"
pass
