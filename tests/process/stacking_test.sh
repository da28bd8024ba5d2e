#!/bin/bash
# The main window and its modeless windows under a window manager (openbox): a separate picture
# window, the text editor and the Vivo player. With "OnTop" "0" none of them is owned by the
# main window, so activating the main window brings it in front of them; with "OnTop" "1" they
# switch keep-on-top on when they get the focus and stay in front, except while the modal
# Options window is open. The separate window sits with its frame in the screen's lower right
# corner; minimising the main window leaves the others on the screen; closing the main window
# closes them with it. The order is read from the root window's _NET_CLIENT_LIST_STACKING.
#
# Exit 77 (skipped) when the X tools or openbox are missing. Set LUMORRA_SHOT_DIR to keep
# screenshots.

set -u

shot_dir=${LUMORRA_SHOT_DIR:-}
[ -n "$shot_dir" ] && { mkdir -p "$shot_dir" && rm -f "$shot_dir"/*.png; }
source "$(dirname "$0")/../support/xsession.sh"
needs_tools Xvfb openbox xprop xwininfo xdotool import convert ffmpeg
needs_programs lumorra lmhelp.hlp
eval "plain_$(declare -f fail)"
fail() {
    [ -n "${DISPLAY:-}" ] && { shot 99-failure; xprop -root _NET_CLIENT_LIST_STACKING; }
    plain_fail "$@"
}

pics="$work/pics"
fail_files=("$work/prog/LMLog.txt" "$conf")
install_programs lumorra lmhelp.hlp
convert -size 120x90 xc:'#ff0000' "$pics/a.jpg" || fail "convert could not make the picture"
# The player takes any movie it can read; an AVI under a Vivo name stands in for a Vivo movie.
ffmpeg -loglevel error -f lavfi -i testsrc=size=160x120:rate=10 -t 20 -f avi "$pics/clip.viv" ||
    fail "ffmpeg could not make the movie"
write_settings Systray=0 OnTop=0 AutoZoom=0 OLE=0 'PicPattern=*.jpg;*.viv'

export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" LUMORRA_AUDIO=null
start_x
start_wm

visible() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
# Windows are named by their titles: a window whose keep-on-top flag changes may come back as a
# new X window.
window_of() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1; }
more_windows_than() { [ "$(xdotool search --onlyvisible --class '^lumorra$' | wc -l)" -gt "$1" ]; }
active_is() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$(window_of "$1")" ]; }
set_on_top() { sed -i "s/^OnTop=.*/OnTop=$1/" "$conf"; }

# The place of a window in the stacking order, bottom first.
level() {
    local id
    id=$(printf '0x%x' "$(window_of "$1")")
    xprop -root _NET_CLIENT_LIST_STACKING | sed 's/^[^#]*# //' | tr -d ' ' | tr ',' '\n' |
        awk -v id="$id" 'tolower($0) == id { print NR; exit }'
}
above() { [ "$(level "$1")" -gt "$(level "$2")" ]; }
activate() {
    xdotool windowactivate --sync "$(window_of "$1")" 2>/dev/null
    wait_for 10 "'$1' to get the focus" active_is "$1"
    sleep 0.5
}
# Not owned by another window (no WM_TRANSIENT_FOR).
wm_state() { xprop -id "$(window_of "$1")" _NET_WM_STATE 2>/dev/null; }
kept_on_top() { wm_state "$1" | grep -q _NET_WM_STATE_ABOVE; }
not_kept_on_top() { ! kept_on_top "$1"; }
shot_window() {
    [ -n "${shot_dir:-}" ] && import -frame -window "$(window_of "$2")" "$shot_dir/$1.png" 2>/dev/null
    return 0
}
unowned() { ! xprop -id "$(window_of "$1")" WM_TRANSIENT_FOR | grep -q 'window id'; }

main='^Lumorra$'
picture='^a\.jpg$'
editor='^Text Editor$'
player='^Vivo Movie Player - Playing$'

echo "== the main window and its three modeless windows (display $DISPLAY)"
"$work/prog/lumorra" "$pics/a.jpg" >>"$work/lumorra.log" 2>&1 &
wait_for 30 "the main window" visible "$main"
activate "$main"
# The file list is the lowest white run of a column through the left part of the window, to the
# right of the names; its first row, the picture's, takes the clicks.
win=$(window_of "$main")
# The picture named on the command line shows before the lists are filled: read the layout
# once two looks agree.
find_list() {
    import -window "$win" "$work/window.png" 2>/dev/null
    eval "$(xdotool getwindowgeometry --shell "$win")"
    list_x=$((WIDTH / 5))
    # White, or the selection's colour (blue well above red), counts as list.
    convert "$work/window.png" -crop "1x$HEIGHT+$list_x+0" +repage -depth 8 txt:- 2>/dev/null |
        awk -F'[,:() ]+' '/^#/ { next }
                          { y = $2; r = $3; g = $4; b = $5
                            inlist = (r == 255 && g == 255 && b == 255) || (b > r + 60) }
                          inlist { if (start < 0) start = y; last = y; next }
                          { if (start >= 0 && last - start > 40) found = start; start = -1 }
                          BEGIN { start = -1 } END { print found + 8 }'
}
list_y=$(find_list)
for _ in $(seq 20); do
    sleep 0.3
    again=$(find_list)
    [ "$again" = "$list_y" ] && break
    list_y=$again
done
eval "$(xdotool getwindowgeometry --shell "$win")"
list_x=$((WIDTH / 5))
[ "$list_y" -gt 8 ] || fail "cannot find the file list"
# file_menu KEY: the file list's menu, with KEY pressed in it.
program_windows() { xdotool search --onlyvisible --class '^lumorra$' 2>/dev/null | sort; }
file_menu() {
    local before menu
    # A click into a window that is not the active one may be taken by the window manager.
    activate "$main"
    before=$(program_windows)
    xdotool mousemove --window "$win" "$list_x" "$list_y" click 3
    wait_for 10 "the File menu" more_windows_than "$(wc -l <<<"$before")"
    menu=$(comm -13 <(echo "$before") <(program_windows) | head -n1)
    xdotool key $1
    wait_for 10 "the File menu to close" sh -c "! xdotool search --onlyvisible --class '^lumorra\$' | grep -qx '$menu'"
}

file_menu l
wait_for 20 "the separate picture window" visible "$picture"
# It takes the focus once shown: a click on the main window before that loses its menu to it.
wait_for 10 "the separate window to get the focus" active_is "$picture"
file_menu e
wait_for 20 "the text editor" visible "$editor"
wait_for 10 "the editor to get the focus" active_is "$editor"
xdotool mousemove --window "$win" "$list_x" "$list_y" click 1
xdotool key End
wait_for 20 "the Vivo player" visible "$player"
wait_for 10 "the player to get the focus" active_is "$player"
shot 01-opened
for w in "$picture" "$editor" "$player"; do
    unowned "$w" || fail "'$w' is owned by another window"
done
shot_window 01-main "$main"
shot_window 01-picture "$picture"
shot_window 01-editor "$editor"
shot_window 01-player "$player"

echo "== the separate window's frame sits in the lower right corner"
# 50 twips (3 pixels) from the right edge and 600 twips (40 pixels) from the bottom edge.
# xwininfo, not xdotool: xdotool adds the frame's offset once more to a framed window's place.
corner_offsets() {
    local x y w h fr fb
    read -r x y w h < <(xwininfo -id "$(window_of "$picture")" |
        awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
             /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, w, h }')
    read -r _ fr _ fb < <(xprop -id "$(window_of "$picture")" _NET_FRAME_EXTENTS |
        sed 's/.*= //; s/,//g')
    echo "$((1280 - (x + w + ${fr:-0}))) $((1024 - (y + h + ${fb:-0})))"
}
in_corner() {
    local right bottom
    read -r right bottom < <(corner_offsets)
    [ "$right" -ge 2 ] && [ "$right" -le 4 ] && [ "$bottom" -ge 39 ] && [ "$bottom" -le 41 ]
}
# The window manager frames the window after it shows; the window then moves into place.
tries=100
while ! in_corner && [ $((tries -= 1)) -gt 0 ]; do sleep 0.1; done
in_corner || fail "the separate window's frame is $(corner_offsets) pixels from the right and bottom"

echo "== OnTop 0: the main window comes in front of them"
activate "$main"
shot 02-main-in-front
for w in "$picture" "$editor" "$player"; do
    above "$main" "$w" || fail "with OnTop 0 '$w' stays above the main window"
done

echo "== OnTop 1: they stay in front once they had the focus"
set_on_top 1
for w in "$picture" "$editor" "$player"; do
    activate "$w"
done
activate "$main"
shot 03-kept-on-top
for w in "$picture" "$editor" "$player"; do
    above "$w" "$main" || fail "with OnTop 1 '$w' went behind the main window"
done

echo "== the Options window switches keep-on-top off while it is open"
for w in "$picture" "$editor"; do
    kept_on_top "$w" || fail "'$w' is not kept on top with OnTop 1"
done
file_menu "Up Return"
wait_for 20 "the Options window" visible '^Options$'
shot_window 04-options '^Options$'
for w in "$picture" "$editor"; do
    wait_for 10 "'$w' to leave keep-on-top" not_kept_on_top "$w"
done
xdotool key Escape
wait_for 20 "the Options window to close" sh -c "! xdotool search --onlyvisible --name '^Options\$'"
for w in "$picture" "$editor"; do
    wait_for 10 "'$w' to be kept on top again" kept_on_top "$w"
done

echo "== minimising the main window leaves the others on the screen"
xdotool windowminimize --sync "$win"
wait_for 10 "the main window to be minimised" sh -c "xprop -id $win _NET_WM_STATE | grep -q HIDDEN"
shot 05-main-minimised
for w in "$picture" "$editor" "$player"; do
    visible "$w" || fail "'$w' went with the minimised main window"
    wm_state "$w" | grep -q HIDDEN && fail "'$w' was minimised with the main window"
done
xdotool windowactivate --sync "$win" 2>/dev/null
wait_for 10 "the main window to come back" active_is "$main"

echo "== closing the main window closes them"
activate "$main"
xdotool key alt+F4
wait_for 20 "lumorra to end" sh -c "! pgrep -f '^$work/prog/lumorra' >/dev/null"
for w in "$picture" "$editor" "$player"; do
    visible "$w" && fail "'$w' outlived the main window"
done
check_sanitizer_reports "$work/lumorra.log"
echo "PASS"
