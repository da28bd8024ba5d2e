#!/bin/bash
# Two lumorra processes started at the same moment from one program directory, on an X server
# of their own: both show their main window and keep working, the run log holds one start's
# lines (the later start's), the program log keeps the records of both, and the settings file
# both wrote into at once is whole and holds every key.
#
# Exit 77 (skipped) when the X tools are missing.

set -u

shot_dir=${LUMORRA_SHOT_DIR:-}
source "$(dirname "$0")/../support/xsession.sh"
needs_tools Xvfb xdotool
needs_programs lumorra lmhelp.hlp

runlog="$work/prog/LMRunLog.txt"
proglog="$work/prog/LMLog.txt"
fail_files=("$runlog" "$proglog" "$conf")

# No lmtray beside lumorra: each start reports it, so each start writes a program log record.
install_programs lumorra lmhelp.hlp
touch "$work/pics/one.jpg" "$work/pics/two.gif"
write_settings Systray=1 SystrayLoaded=0 "startupdir=$work/pics"

export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
start_x

title='Systray ERROR 2 (No such file or directory)'
boxes() { xdotool search --onlyvisible --name "^${title//(/\\(}" 2>/dev/null; }
boxes_are() { [ "$(boxes | wc -l)" -eq "$1" ]; }
main_windows_are() { [ "$(xdotool search --onlyvisible --name '^Lumorra$' 2>/dev/null | wc -l)" -eq "$1" ]; }
window_of() { xdotool search --onlyvisible --pid "$1" --name '^Lumorra$' 2>/dev/null | head -n1; }
has_window() { [ -n "$(window_of "$1")" ]; }
alive() { kill -0 "$1" 2>/dev/null; }
ended() { ! alive "$1"; }
lines_with() { grep -c -- "$1" "$2" 2>/dev/null || true; }

echo "== two starts at once (display $DISPLAY)"
"$work/prog/lumorra" >>"$work/lumorra1.log" 2>&1 &
first=$!
"$work/prog/lumorra" >>"$work/lumorra2.log" 2>&1 &
second=$!

wait_for 30 "both starts' tray messages" boxes_are 2
shot two-messages
for box in $(boxes); do
    xdotool windowfocus --sync "$box" 2>/dev/null || xdotool windowfocus "$box"
    xdotool key Return
    sleep 0.3
done
wait_for 10 "the messages to close" boxes_are 0
wait_for 15 "two main windows" main_windows_are 2
for pid in "$first" "$second"; do
    wait_for 10 "the main window of process $pid" has_window "$pid"
done
shot two-windows

echo "== the logs"
wait_for 10 "the run log to be complete" grep -q '^PROGRAM LOAD COMPLETED' "$runlog"
[ "$(lines_with 'Tovik Software, Lumorra Run Logfile' "$runlog")" -eq 1 ] ||
    fail "the run log holds more than one start"
[ "$(lines_with '^PROGRAM LOAD COMPLETED' "$runlog")" -eq 1 ] || fail "the run log holds two ends"
[ "$(lines_with '^Systray program ERROR' "$runlog")" -eq 1 ] || fail "the run log holds two tray errors"
[ "$(lines_with "$title" "$proglog")" -eq 2 ] || fail "the program log does not hold both starts' records"
ls -a "$work/prog" | grep -q '^\.LMRunLog' && fail "a hidden run log was left behind"

echo "== both keep working: each answers a key, then closes as the user closes it"
for pid in "$first" "$second"; do
    win=$(window_of "$pid")
    xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
    # F1 asks for help: the program answers with its help window.
    xdotool key F1
    wait_for 10 "the help window of process $pid" xdotool search --onlyvisible --pid "$pid" --name '^Lumorra Help$'
done
shot two-helps
for pid in "$first" "$second"; do
    alive "$pid" || fail "process $pid ended"
    kill -TERM "$pid"
    wait_for 10 "process $pid to end" ended "$pid"
    wait "$pid" || fail "process $pid ended with status $?"
done

echo "== the settings file both wrote into"
for key in User UserReq SpcSetting Systray SystrayLoaded startupdir AppPath EXEName Version \
    AutoSkipInterval; do
    grep -q "^$key=" "$conf" || fail "the settings file lost $key"
done
[ "$(head -n1 "$conf")" = "[Lumorra]" ] || fail "the settings file does not start with its group"
[ "$(grep -cv '^[^=[]\+=' "$conf")" -eq 1 ] || fail "the settings file holds a line that is no key"

check_sanitizer_reports "$work"/lumorra*.log

echo "PASS"
exit 0
