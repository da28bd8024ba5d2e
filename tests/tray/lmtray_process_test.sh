#!/bin/bash
# lmtray as a user meets it: a copy of the built program on an X server of its own, first on a
# desktop without a system tray (the window stands in for the icon), then with trayer as the
# tray. Each run gets its own settings directory; the programs meet only through its file.
#
# Exit 77 (skipped) when the X tools are missing. Set LMTRAY_SHOT_DIR to keep screenshots.

set -u

if [ ! -x "${LUMORRA_BIN_DIR:-}/lmtray" ]; then
    echo "FAIL: no lmtray in LUMORRA_BIN_DIR='${LUMORRA_BIN_DIR:-}'"
    exit 1
fi

shot_dir=${LMTRAY_SHOT_DIR:-}
source "$(dirname "$0")/../support/xsession.sh"
needs_tools Xvfb xdotool trayer
runs=0

mkdir -p "$work/bin" "$work/app" "$work/config/Tovik Software"
cp "$LUMORRA_BIN_DIR/lmtray" "$work/bin/lmtray"
conf="$work/config/Tovik Software/Lumorra.conf"
fail_files=("$conf")
marker="$work/started"

# The "main program" that lmtray starts: it only leaves a line in the marker file.
printf '#!/bin/sh\necho started >> "%s"\n' "$marker" >"$work/app/fakelumorra"
chmod +x "$work/app/fakelumorra"
printf '[Lumorra]\nAppPath=%s/app/\nEXEName=fakelumorra\n' "$work" >"$conf"

export XDG_CONFIG_HOME="$work/config"
start_x

loaded() { sed -n 's/^SystrayLoaded=//p' "$conf"; }
key_is() { [ "$(loaded)" = "$1" ]; }
started_count() { [ -f "$marker" ] && wc -l <"$marker" || echo 0; }
started_is() { [ "$(started_count)" -eq "$1" ]; }
file_state() { stat -c '%i %s %Y' "$conf" && cat "$conf"; }

# start_lmtray: runs a copy in the background; its pid is in $work/run.N.pid and, once it
# ended, its exit status in $work/run.N.status. Sets $run to N.
start_lmtray() {
    runs=$((runs + 1))
    run=$runs
    (
        "$work/bin/lmtray" >"$work/lmtray.$run.log" 2>&1 &
        echo $! >"$work/run.$run.pid"
        wait $!
        echo $? >"$work/run.$run.status"
    ) &
    wait_for 5 "lmtray $run to start" test -s "$work/run.$run.pid"
}
pid_of() { cat "$work/run.$1.pid"; }
ended() { [ -s "$work/run.$1.status" ]; }
expect_clean_end() {
    wait_for 10 "lmtray $1 to end" ended "$1"
    [ "$(cat "$work/run.$1.status")" = 0 ] || fail "lmtray $1 ended with status $(cat "$work/run.$1.status")"
}

visible_window() { xdotool search --onlyvisible --name '^LMSystray$' 2>/dev/null | head -n1; }
has_window() { [ -n "$(visible_window)" ]; }
# The tray icon is the visible window of class lmtray that is not the "LMSystray" window.
icon_windows() {
    local w
    for w in $(xdotool search --onlyvisible --classname '^lmtray$' 2>/dev/null); do
        [ "$(xdotool getwindowname "$w" 2>/dev/null)" != LMSystray ] && echo "$w"
    done
}
icon_count_is() { [ "$(icon_windows | wc -l)" -eq "$1" ]; }

# click_button WINDOW left|right CHECK...: the window's two buttons share its bottom row, half
# each. Clicks in the middle of that half from the bottom edge upwards until CHECK holds, so
# the test does not depend on the style's button height.
click_button() {
    local win=$1 side=$2 WIDTH HEIGHT X Y SCREEN WINDOW y x
    shift 2
    eval "$(xdotool getwindowgeometry --shell "$win")"
    if [ "$side" = left ]; then x=$((WIDTH / 4)); else x=$((WIDTH * 3 / 4)); fi
    for ((y = HEIGHT - 6; y > HEIGHT / 2; y -= 5)); do
        xdotool mousemove --window "$win" "$x" "$y" click 1 2>/dev/null
        local tries=5
        while [ $tries -gt 0 ]; do
            "$@" >/dev/null 2>&1 && return 0
            sleep 0.1
            tries=$((tries - 1))
        done
    done
    fail "no click on the $side button of window $win had an effect"
}

echo "== without a system tray (display $DISPLAY)"
start_lmtray
a=$run
wait_for 10 "SystrayLoaded=1" key_is 1
wait_for 10 "the LMSystray window" has_window
win=$(visible_window)
shot no-tray
click_button "$win" left started_is 1
click_button "$win" right ended "$a"
expect_clean_end "$a"
key_is 0 || fail "Exit left SystrayLoaded='$(loaded)', not 0"
[ "$(started_count)" -eq 1 ] || fail "Start Lumorra started the program $(started_count) times"

echo "== with trayer as the system tray"
trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 32 \
    >"$work/trayer.log" 2>&1 &
helpers+=($!)
wait_for 10 "trayer" xdotool search --onlyvisible --class '^trayer$'
sleep 0.5

start_lmtray
a=$run
wait_for 10 "SystrayLoaded=1" key_is 1
wait_for 10 "the tray icon" icon_count_is 1
sleep 0.3
has_window && fail "the LMSystray window is shown although the icon is in the tray"
shot tray
icon=$(icon_windows | head -n1)
# Each click starts another instance; lmtray does not check for a running one.
xdotool mousemove --window "$icon" 8 8 click 1
wait_for 10 "the first start from the icon" started_is 2
sleep 0.6 # past the double-click interval: a double click starts the program once
xdotool mousemove --window "$icon" 8 8 click 1
wait_for 10 "the second start from the icon" started_is 3

before=$(file_state)
start_lmtray
b=$run
wait_for 10 "the second lmtray's window" has_window
sleep 0.3
[ "$(file_state)" = "$before" ] || fail "the second lmtray changed the settings file"
icon_count_is 1 || fail "the second lmtray put up an icon of its own"
shot second

kill -TERM "$(pid_of "$a")"
expect_clean_end "$a"
key_is 0 || fail "SIGTERM left SystrayLoaded='$(loaded)', not 0"
wait_for 5 "the icon to go" icon_count_is 0

# The second one writes "0" as well when it ends, whatever the key holds by then.
sed -i 's/^SystrayLoaded=.*/SystrayLoaded=1/' "$conf"
kill -HUP "$(pid_of "$b")"
expect_clean_end "$b"
key_is 0 || fail "SIGHUP left SystrayLoaded='$(loaded)', not 0"

check_sanitizer_reports "$work"/lmtray.*.log

echo "PASS"
exit 0
