#!/bin/bash
# lumorra and lmtray as processes on an X server of their own, meeting through the settings
# file: the tray program is started once however often lumorra starts, "Exit" hands the tray
# back, the run log holds the last start only and the program log keeps every start's records.
#
# Exit 77 (skipped) when the X tools are missing. Set LUMORRA_SHOT_DIR to keep screenshots.

set -u

shot_dir=${LUMORRA_SHOT_DIR:-}
source "$(dirname "$0")/../support/xsession.sh"
needs_tools Xvfb xdotool
needs_programs lumorra lmtray lmhelp.hlp

runlog="$work/prog/LMRunLog.txt"
proglog="$work/prog/LMLog.txt"
fail_files=("$runlog" "$proglog" "$conf")

install_programs lumorra lmtray lmhelp.hlp
touch "$work/pics/one.jpg" "$work/pics/two.gif" "$work/pics/notes.txt"
write_settings Systray=1 SystrayLoaded=0 "startupdir=$work/pics"

export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
start_x

key() { sed -n "s/^$1=//p" "$conf"; }
key_is() { [ "$(key "$1")" = "$2" ]; }
count() { pgrep -f "^$work/prog/$1\$" | wc -l; }
count_is() { [ "$(count "$1")" -eq "$2" ]; }
main_windows_are() { [ "$(xdotool search --onlyvisible --name '^Lumorra$' 2>/dev/null | wc -l)" -eq "$1" ]; }
loaded() { grep -q '^PROGRAM LOAD COMPLETED' "$runlog"; }
lines_with() { grep -c -- "$1" "$2" 2>/dev/null || true; }

start_lumorra() {
    "$work/prog/lumorra" >>"$work/lumorra.log" 2>&1 &
}
# Ends every lumorra with SIGTERM, which closes its main window as the user would.
close_all_lumorra() {
    pkill -TERM -f "^$work/prog/lumorra\$"
    wait_for 10 "lumorra to end" count_is lumorra 0
}

echo "== two starts with the tray icon on (display $DISPLAY)"
start_lumorra
wait_for 15 "the first start" loaded
wait_for 10 "lmtray to run" key_is SystrayLoaded 1
wait_for 10 "the main window" main_windows_are 1
grep -q '^Systray program loaded\.* OK' "$runlog" || fail "the first start did not load lmtray"
shot first-start

start_lumorra
wait_for 15 "the second main window" main_windows_are 2
wait_for 10 "the second start" loaded
sleep 0.5
count_is lmtray 1 || fail "$(count lmtray) lmtray processes after two starts"
[ "$(lines_with 'Tovik Software, Lumorra Run Logfile' "$runlog")" -eq 1 ] ||
    fail "the run log holds more than one start"
grep -q '^Systray program loaded' "$runlog" && fail "the second start loaded lmtray again"
grep -q '^Systray section completed\.* OK' "$runlog" || fail "no tray section line"

echo "== Exit in lmtray hands the tray back"
# Without a system tray lmtray shows its window; "Exit" is the right one of its two buttons.
win=$(xdotool search --onlyvisible --name '^LMSystray$' | head -n1)
[ -n "$win" ] || fail "no LMSystray window"
# The main windows may cover it: bring it to the top first.
xdotool windowraise "$win"
sleep 0.3
eval "$(xdotool getwindowgeometry --shell "$win")"
for ((y = HEIGHT - 6; y > HEIGHT / 2; y -= 5)); do
    xdotool mousemove --window "$win" $((WIDTH * 3 / 4)) "$y" click 1
    sleep 0.3
    count_is lmtray 0 && break
done
wait_for 5 "lmtray to end" count_is lmtray 0
key_is SystrayLoaded 0 || fail "Exit left SystrayLoaded='$(key SystrayLoaded)'"

close_all_lumorra
key_is AutoSkipInterval 10 || fail "closing stored AutoSkipInterval='$(key AutoSkipInterval)'"

start_lumorra
wait_for 15 "the third start" loaded
wait_for 10 "lmtray to run again" key_is SystrayLoaded 1
count_is lmtray 1 || fail "$(count lmtray) lmtray processes after the restart"
grep -q '^Systray program loaded\.* OK' "$runlog" || fail "the restart did not load lmtray"
close_all_lumorra
pkill -TERM -f "^$work/prog/lmtray\$"
wait_for 5 "lmtray to end" count_is lmtray 0
key_is SystrayLoaded 0 || fail "SIGTERM left SystrayLoaded='$(key SystrayLoaded)'"

echo "== a missing lmtray is reported at every start; the program log keeps both"
rm "$work/prog/lmtray"
title='Systray ERROR 2 (No such file or directory)'
for n in 1 2; do
    start_lumorra
    wait_for 15 "the tray failure message ($n)" xdotool search --onlyvisible --name "^${title//(/\\(}"
    box=$(xdotool search --onlyvisible --name "^${title//(/\\(}" | head -n1)
    [ "$n" = 1 ] && shot tray-failure
    loaded && fail "start-up went on while the message was shown"
    xdotool windowfocus --sync "$box" 2>/dev/null || xdotool windowfocus "$box"
    xdotool key Return
    wait_for 10 "start-up to go on after the message ($n)" loaded
    wait_for 10 "the main window ($n)" main_windows_are 1
    close_all_lumorra
done
[ "$(lines_with "$title" "$proglog")" -eq 2 ] || fail "the program log does not hold both starts' records"
grep -q "^\"<[^>]*> $title\"" "$proglog" || fail "the record is not in the quoted form"
[ "$(lines_with 'Tovik Software, Lumorra Run Logfile' "$runlog")" -eq 1 ] ||
    fail "the run log holds more than one start"
[ "$(lines_with '^Systray program ERROR' "$runlog")" -eq 1 ] || fail "no tray error line in the run log"
if grep -qv $'\r$' "$runlog"; then fail "a run log line does not end in CR LF"; fi

echo "== a file on the command line: killed as its window shows, then a broken one"
# The keys the start writes are in the file, whole, however early the program is killed.
sed -i '/^\(AppPath\|EXEName\|Version\|Systray\)=/d' "$conf"
echo 'Systray=0' >>"$conf"
convert -size 300x200 xc:'#3070c0' "$work/pics/photo.jpg" 2>/dev/null || cp "$work/pics/one.jpg" "$work/pics/photo.jpg"
"$work/prog/lumorra" "$work/pics/photo.jpg" >>"$work/lumorra.log" 2>&1 &
viewer=$!
wait_for 15 "the main window with the photo" main_windows_are 1
# The decoder's zygote that starts with the program is the one the viewer uses.
zygotes=$(ps -o args= --ppid "$viewer" | grep -c '^lumorra_decoder --zygote')
[ "$zygotes" -eq 1 ] || fail "the program runs $zygotes decoder zygotes, not one"
pkill -KILL -f "^$work/prog/lumorra "
key_is AppPath "$work/prog/" && key_is EXEName lumorra && key_is Version 3 ||
    fail "after the kill: AppPath='$(key AppPath)' EXEName='$(key EXEName)' Version='$(key Version)'"
# A picture that cannot be read gets the picture load message, as a click on it does.
printf '\377\330\377\340 not really' >"$work/pics/broken.jpg"
sed -i '/^OLE=/d' "$conf"
echo 'OLE=0' >>"$conf"
"$work/prog/lumorra" "$work/pics/broken.jpg" >>"$work/lumorra.log" 2>&1 &
wait_for 15 "the picture load message" xdotool search --onlyvisible --name '^Picture load ERROR 481 \('
pkill -KILL -f "^$work/prog/lumorra "
[ "$(lines_with 'Picture load ERROR 481 (' "$proglog")" -eq 1 ] || fail "the program log lacks the picture load record"

check_sanitizer_reports "$work/lumorra.log"

echo "PASS"
exit 0
