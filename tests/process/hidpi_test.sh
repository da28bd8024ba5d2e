#!/bin/bash
# lumorra on a desktop scaled to 2 on a 2560 x 1600 screen, under openbox, once by Qt's
# QT_SCALE_FACTOR=2 and once by the X resources' Xft.dpi of 192: the main window starts whole on
# the screen at twice its size, the picture shows, and the start-up sequence completes. With the
# X resources, the photo's decode started before Qt connects reads the screen as Qt does, and is
# not started again. The screenshots are kept in LUMORRA_SHOT_DIR.
#
# Exit 77 (skipped) when the X tools or openbox are missing.

set -u

shot_dir=${LUMORRA_SHOT_DIR:-}
[ -n "$shot_dir" ] && { mkdir -p "$shot_dir" && rm -f "$shot_dir"/*.png; }
x_screen=2560x1600
source "$(dirname "$0")/../support/xsession.sh"
needs_tools Xvfb openbox xprop xwininfo xdotool import convert
needs_programs lumorra lmhelp.hlp

pics="$work/pics"
fail_files=("$work/prog/LMRunLog.txt" "$conf")
install_programs lumorra lmhelp.hlp
convert -size 3000x2000 gradient:red-blue "$pics/wide.jpg" || fail "convert could not make the picture"

export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" LUMORRA_AUDIO=null
start_x
start_wm

# scaled WAY: starts lumorra scaled to 2 that way and checks its window and picture.
scaled() {
    local way=$1
    echo "== lumorra scaled to 2 by $way (display $DISPLAY)"
    rm -f "$work/prog/LMRunLog.txt"
    write_settings Systray=0 AutoZoom=1
    if [ "$way" = QT_SCALE_FACTOR ]; then
        QT_SCALE_FACTOR=2 LUMORRA_PROFILE_STARTUP=0 "$work/prog/lumorra" "$pics/wide.jpg" \
            >"$work/lumorra.log" 2>&1 &
    else
        xprop -root -format RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	192" ||
            fail "xprop could not set the X resources"
        LUMORRA_PROFILE_STARTUP=0 "$work/prog/lumorra" "$pics/wide.jpg" >"$work/lumorra.log" 2>&1 &
    fi
    lumorra_pid=$!
    visible() { xdotool search --onlyvisible --name '^Lumorra$' >/dev/null 2>&1; }
    wait_for 30 "the main window" visible
    wait_for 10 "start-up to complete" grep -q '^PROGRAM LOAD COMPLETED' "$work/prog/LMRunLog.txt"
    sleep 1
    shot "hidpi-$way"
    win=$(xdotool search --onlyvisible --name '^Lumorra$' | head -n1)
    read -r X Y W H < <(xwininfo -id "$win" |
        awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
             /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, w, h }')
    echo "   main window at $X,$Y, $W x $H pixels"
    [ "$W" -gt 1280 ] || fail "the main window is not scaled: $W pixels wide"
    { [ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + W)) -le 2560 ] && [ $((Y + H)) -le 1600 ]; } ||
        fail "the main window is not whole on the screen"
    # The picture, shrunk by the auto zoom, fills the viewer on the right; red at its top.
    import -window "$win" "$work/window.png" 2>/dev/null
    read -r r b < <(convert "$work/window.png" -crop "1x1+$((W * 6 / 10))+$((H * 8 / 100))" \
        -format '%[fx:int(255*r)] %[fx:int(255*b)]' info:)
    { [ "${r:-0}" -gt 180 ] && [ "${b:-255}" -lt 80 ]; } || fail "the picture is not shown (red $r, blue $b)"
    if [ "$way" = Xft.dpi ] && grep -q 'early decode: started afresh' "$work/lumorra.log"; then
        fail "the early decode read the screen otherwise than Qt: $(grep lumorra-profile "$work/lumorra.log" | head -n 5)"
    fi
    kill "$lumorra_pid" 2>/dev/null
    wait "$lumorra_pid" 2>/dev/null
}

scaled QT_SCALE_FACTOR
scaled Xft.dpi
echo "PASS"
