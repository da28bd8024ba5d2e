#!/bin/bash
# A user's first session with lumorra, driven through the real X server: the first-run user
# prompt, opening a picture directory, showing and zooming a picture, copying, moving and
# deleting files, the File Information window, a slide show that runs to the end of the list,
# an info list in the text editor, and closing. Afterwards the files on disk, the run log, the
# program log and the settings file are checked.
#
# Controls are reached with the keyboard where the window offers a way, and otherwise at places
# measured from a screenshot of the window. The session runs on a bare X server, or under the
# openbox window manager when LUMORRA_WM=openbox.
#
# Exit 77 (skipped) when the X tools are missing. Set LUMORRA_SHOT_DIR to keep screenshots.

set -u

shot_dir=${LUMORRA_SHOT_DIR:-}
[ -n "$shot_dir" ] && { mkdir -p "$shot_dir" && rm -f "$shot_dir"/*.png; }
source "$(dirname "$0")/../support/xsession.sh"
needs_tools Xvfb xdotool import convert ${LUMORRA_WM:-}
needs_programs lumorra lmtray lmhelp.hlp
# A failure keeps a picture of the screen as it was.
eval "plain_$(declare -f fail)"
fail() {
    if [ -n "${DISPLAY:-}" ]; then
        shot 99-failure
        echo "--- windows shown"
        xdotool search --onlyvisible --name '' 2>/dev/null | while read -r w; do
            echo "$w '$(xdotool getwindowname "$w" 2>/dev/null)'" \
                "$(xdotool getwindowgeometry "$w" 2>/dev/null | sed 1d | tr -s ' \n' ' ')"
        done
    fi
    plain_fail "$@"
}

# Names that no directory above them starts with, for the directory list's type-ahead.
home="$work/lm-home"
pics="$home/lm-pictures"
copies="$home/lm-copies"
runlog="$work/prog/LMRunLog.txt"
proglog="$work/prog/LMLog.txt"
conf="$work/config/Tovik Software/Lumorra.conf"
fail_files=("$runlog" "$proglog" "$conf")
user='Tester E2E'

mkdir -p "$work/prog" "$pics" "$copies" "$work/orig"
cp "$LUMORRA_BIN_DIR/lumorra" "$LUMORRA_BIN_DIR/lmtray" "$LUMORRA_BIN_DIR/lmhelp.hlp" "$work/prog/"
(
    cd "$work/orig" &&
        convert -size 64x48 xc:'#ff0000' a_red.jpg &&
        convert -size 80x60 gradient:blue-yellow b_grad.jpg &&
        convert -size 40x40 xc:'#00ff00' c_green.gif &&
        convert -size 50x30 xc:'#800080' d_purple.bmp &&
        convert -size 70x50 xc:'#ffff00' e_yellow.jpg
) || fail "convert could not make the pictures"
cp "$work/orig"/* "$pics/"

export HOME="$home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
export XDG_DATA_HOME="$work/data"
start_x
if [ "${LUMORRA_WM:-}" = openbox ]; then
    start_wm
fi

# A value of the settings file; the file quotes values that hold a ";".
key() { sed -n "s/^$1=//p" "$conf" 2>/dev/null | sed 's/^"\(.*\)"$/\1/'; }
key_is() { [ "$(key "$1")" = "$2" ]; }
running() { pgrep -f "^$work/prog/lumorra\$" >/dev/null; }
loaded() { grep -q '^PROGRAM LOAD COMPLETED' "$runlog" 2>/dev/null; }
visible() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
gone() { ! visible "$1"; }
# A pop-up menu is a second window of the program's class (its title is empty).
menu_shown() { [ "$(xdotool search --onlyvisible --class '^lumorra$' 2>/dev/null | wc -l)" -ge 2 ]; }
menu_gone() { ! menu_shown; }
# Gives the keyboard to the window titled so (no window manager does it) and types keys.
keys_to() {
    local title=$1 win
    shift
    wait_for 20 "the window '$title'" visible "$title"
    win=$(xdotool search --onlyvisible --name "$title" | head -n1)
    xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
    xdotool key --delay 80 "$@"
}
# Events reach the program in order; this gives it time to act on those sent so far where
# nothing outside the window shows that it has.
settle() { sleep 0.6; }

# Places inside the main window, relative to its top left corner.
click() { xdotool mousemove --window "$main" "$1" "$2" click "${3:-1}"; }
window_shot() { import -window "$main" "$work/window.png" 2>/dev/null; }
# The vertical runs of white (list and text box backgrounds) in one pixel column of the window
# screenshot, as "first last" lines, for runs of at least $2 pixels.
white_runs() {
    convert "$work/window.png" -crop "1x$HEIGHT+$1+0" +repage txt:- 2>/dev/null |
        awk -F'[,:]' -v min="$2" '
            /^#/ { next }
            { white = ($0 ~ /#FFFFFF/) }
            white && start < 0 { start = $2 }
            !white && start >= 0 { if ($2 - start >= min) print start, $2 - 1; start = -1 }
            BEGIN { start = -1 }'
}
# Pixels of the colour in the viewer area (right of the lists, above the buttons).
colour_count() {
    window_shot
    convert "$work/window.png" -crop "$((WIDTH - view_left))x$((row_top - 4))+$view_left+0" +repage \
        -fuzz 12% -fill black +opaque "$1" -fill white -opaque "$1" \
        -format '%[fx:int(mean*w*h+0.5)]' info: 2>/dev/null
}
# wait_colour SECONDS DESCRIPTION COLOUR MIN MAX: waits until the viewer area shows between MIN
# and MAX pixels of the colour (a screenshot takes a while, so the time is counted by the clock).
wait_colour() {
    local end=$((SECONDS + $1)) what=$2 n
    while :; do
        n=$(colour_count "$3")
        [ -n "$n" ] && [ "$n" -ge "$4" ] && [ "$n" -le "$5" ] && return 0
        [ "$SECONDS" -lt "$end" ] || fail "timed out waiting for $what ($n pixels of $3)"
        sleep 0.2
    done
}
# The first x of a colour in a row of the window screenshot.
first_x_of() {
    convert "$work/window.png" -crop "${WIDTH}x1+0+$2" +repage txt:- 2>/dev/null |
        awk -F'[,:]' -v c="$1" '$0 ~ c { print $1; exit }'
}

echo "== first start: the user prompt (display $DISPLAY)"
"$work/prog/lumorra" >>"$work/lumorra.log" 2>&1 &
keys_to '^Lumorra - User name entry$' ctrl+a
shot 01-user-prompt
xdotool type --delay 40 "$user"
xdotool key Return
wait_for 30 "the start-up to complete" loaded
wait_for 20 "the main window" visible '^Lumorra$'
main=$(xdotool search --onlyvisible --name '^Lumorra$' | head -n1)
xdotool windowfocus --sync "$main" 2>/dev/null
eval "$(xdotool getwindowgeometry --shell "$main")"
settle
shot 02-main-window-home

echo "== the layout of the main window"
window_shot
# Left column: the directory list above the file list; the copy directory box is the one white
# run in a column through the viewer area.
mapfile -t left_runs < <(white_runs $((WIDTH / 10)) 40)
[ "${#left_runs[@]}" -ge 2 ] || fail "cannot find the directory and file lists (${left_runs[*]:-none})"
read -r dir_top _ <<<"${left_runs[0]}"
read -r file_top file_bottom <<<"${left_runs[${#left_runs[@]} - 1]}"
read -r box_top box_bottom < <(white_runs $((WIDTH * 3 / 5)) 8 | tail -n1)
[ -n "${box_top:-}" ] || fail "cannot find the copy directory box"
dir_spot_y=$(((dir_top + file_top) / 2 + 40)) # an empty place low in the directory list
list_x=$((WIDTH / 20))
first_row_y=$((file_top + 7))
row_top=$((box_top - 40)) # the row of buttons and zoom options
view_left=$(first_x_of '#404040' $((HEIGHT / 2)))
[ -n "$view_left" ] || fail "cannot find the viewer area"
echo "   lists at $dir_top and $file_top..$file_bottom, copy directory box at $box_top, viewer from $view_left"

# open_dir NAME: types the name of a directory shown in the directory list and opens it.
open_dir() {
    click "$list_x" "$dir_spot_y"
    sleep 0.5 # the list's type-ahead starts afresh after a pause
    xdotool type --delay 60 "$1"
    xdotool key Return
    settle
}

echo "== the copy directory for this session, then the picture directory"
open_dir lm-copies
click "$list_x" "$dir_spot_y" 3
wait_for 10 "the Settings menu" menu_shown
shot 03-settings-menu
xdotool key u
wait_for 10 "the Settings menu to close" menu_gone
open_dir lm-home
open_dir lm-pictures
shot 04-picture-directory

echo "== a click on a picture shows it; zoom"
click "$list_x" "$first_row_y"
wait_colour 15 "the red picture at its natural size" '#ff0000' 2800 3400
shot 05-picture
# The zoom options: a click on the first (1:4), then the arrow keys to 2:1.
click $((list_x / 2 + 8)) $((box_top - 21))
wait_colour 10 "the red picture at 1:4" '#ff0000' 150 240
xdotool key Right Right Right
wait_colour 10 "the red picture at 2:1" '#ff0000' 11500 13000
shot 06-zoom-2-1

echo "== File Copy"
xdotool key alt+f
wait_for 10 "the copy" test -e "$copies/a_red.jpg"
cmp -s "$work/orig/a_red.jpg" "$copies/a_red.jpg" || fail "the copy differs from the original"
[ -e "$pics/a_red.jpg" ] || fail "the copy took the source away"
settle
shot 07-after-copy

echo "== File Move with its question"
click "$list_x" "$first_row_y"
xdotool key Down
settle
xdotool key alt+m
keys_to '^Move file\?$' y
wait_for 10 "the move" test ! -e "$pics/b_grad.jpg"
wait_for 10 "the moved file" test -e "$copies/b_grad.jpg"
cmp -s "$work/orig/b_grad.jpg" "$copies/b_grad.jpg" || fail "the moved file differs from the original"
shot 08-after-move

echo "== Delete from the File menu with its question"
click "$list_x" "$first_row_y"
xdotool key Down
wait_colour 10 "the green picture" '#00ff00' 1400 1800
click "$list_x" "$first_row_y" 3
wait_for 10 "the File menu" menu_shown
shot 09-file-menu
xdotool key d
keys_to '^Delete file\?$' y
wait_for 10 "the deletion" test ! -e "$pics/c_green.gif"
# The entry that followed the deleted one is selected and shown.
wait_colour 10 "the purple picture" '#800080' 1300 1700
[ -e "$pics/a_red.jpg" ] && [ -e "$pics/d_purple.bmp" ] && [ -e "$pics/e_yellow.jpg" ] ||
    fail "the deletion took another file with it"

echo "== File Information"
click $((WIDTH * 2 / 5)) $((HEIGHT - 10))
wait_for 10 "the File Information window" visible '^File Information$'
shot 10-file-information
keys_to '^File Information$' Return
wait_for 10 "the File Information window to close" gone '^File Information$'
[ -e "$pics/d_purple.bmp" ] || fail "OK in File Information took the file away"

echo "== Options: no restart at the end of the list"
click "$list_x" "$first_row_y" 3
wait_for 10 "the File menu" menu_shown
xdotool key Up Return
# From OK, the restart box is the eighth stop of the tab order.
keys_to '^Options$' Tab Tab Tab Tab Tab Tab Tab Tab space
shot 11-options
xdotool key Return
wait_for 10 "the Options window to close" gone '^Options$'
wait_for 10 "AutoSkip to be stored off" key_is AutoSkip 0

echo "== a 2-second slide show to the end of the list"
# The interval box comes before the copy directory box in the tab order.
click $((WIDTH / 2)) $(((box_top + box_bottom) / 2))
xdotool key shift+Tab ctrl+a
xdotool type --delay 40 2
click "$list_x" "$first_row_y"
wait_colour 10 "the red picture" '#ff0000' 2800 3400
xdotool key alt+r
wait_for 5 "the running caption" visible '^Lumorra - Autoskip is running$'
shot 12-slide-show-started
wait_colour 10 "the slide show's first step" '#800080' 1300 1700
wait_colour 10 "the slide show's second step" '#ffff00' 3300 3700
shot 13-slide-show-last
wait_for 10 "the end of the slide show" visible '^AutoSkip stopped$'
shot 14-slide-show-stopped
keys_to '^AutoSkip stopped$' Return
wait_for 10 "the message to close" gone '^AutoSkip stopped$'

echo "== an info list of the picture directory"
click "$list_x" "$dir_spot_y" 3
wait_for 10 "the Settings menu" menu_shown
xdotool key Up Up Return
keys_to '^Include picture size\?$' y
wait_for 20 "the text editor" visible '^Text Editor$'
settle
shot 15-info-list
# The main window takes input again: a click shows the first picture.
click "$list_x" "$first_row_y"
wait_colour 10 "the red picture after the info list" '#ff0000' 2800 3400
shot 16-main-window-after-info-list

echo "== closing; the info list is saved on the way"
pkill -TERM -f "^$work/prog/lumorra\$"
keys_to '^Save file\?$' y
keys_to '^Save As$' ctrl+a
xdotool type --delay 20 "$work/infolist.rtf"
xdotool key Return
wait_for 20 "lumorra to end" eval '! running'

echo "== the files on disk"
[ -e "$copies/a_red.jpg" ] && [ -e "$pics/a_red.jpg" ] || fail "copy: a file is missing"
[ ! -e "$pics/b_grad.jpg" ] && [ -e "$copies/b_grad.jpg" ] || fail "move: wrong files"
[ ! -e "$pics/c_green.gif" ] && [ ! -e "$copies/c_green.gif" ] || fail "delete: the file is there"
cmp -s "$work/orig/c_green.gif" "$work/data/Trash/files/c_green.gif" &&
    grep -qx "Path=$pics/c_green.gif" "$work/data/Trash/info/c_green.gif.trashinfo" ||
    fail "delete: the file is not in the Trash"
for f in a_red.jpg d_purple.bmp e_yellow.jpg; do
    cmp -s "$work/orig/$f" "$pics/$f" || fail "$f changed"
done
[ "$(ls "$pics" | wc -l)" -eq 3 ] && [ "$(ls "$copies" | wc -l)" -eq 2 ] ||
    fail "unexpected files: $(ls "$pics" "$copies")"

[ -s "$work/infolist.rtf" ] || fail "the info list was not saved"
grep -q "Info for $pics  (\*.jpg;\*.jpeg;\*.bmp;\*.gif;\*.wmf;\*.emf;\*.ico;\*.png;" "$work/infolist.rtf" ||
    fail "the info list has no header for $pics"
grep -q 'd_purple.bmp    [0-9,.]* bytes    50 x 30 Pixels    (' "$work/infolist.rtf" ||
    fail "the info list has no line for d_purple.bmp"
grep -q 'Total 3 File(s) (' "$work/infolist.rtf" || fail "the info list has no total of 3 files"

echo "== the run log"
expected_runlog=(
    '***Tovik Software, Lumorra Run Logfile***'
    ''
    'Program Logfile set.................................. OK'
    'Program information saved to registration database... OK'
    'Program Help file set................................ OK'
    'File list box pattern set............................ OK'
    'Drive list box drive set............................. OK'
    'Dir list box path set................................ OK'
    'Default copy destination path set.................... OK'
    'AutoSkip interval set................................ OK'
    'Statusbar text set................................... OK'
    'Label6 caption set................................... OK'
    'Special settings section completed................... OK'
    'New user added....................................... OK'
    'Options saved to registration database............... OK'
    'Usertest section completed........................... OK'
    'Screen resolution section completed.................. OK'
    'Systray program load is off.......................... OK'
    'Systray section completed............................ OK'
    'PROGRAM LOAD COMPLETED'
)
diff <(printf '%s\n' "${expected_runlog[@]}") <(tr -d '\r' <"$runlog") >"$work/runlog.diff" ||
    fail "the run log differs: $(cat "$work/runlog.diff")"
if grep -qv $'\r$' "$runlog"; then fail "a run log line does not end in CR LF"; fi

echo "== the program log"
# Nothing went wrong in this session: the program log holds no record.
if [ -s "$proglog" ]; then fail "the program log holds records"; fi

echo "== the settings"
raw_types='*.cr2;*.cr3;*.nef;*.nrw;*.arw;*.sr2;*.dng;*.raf;*.orf;*.rw2;*.pef;*.srw;*.3fr;*.iiq;*.kdc'
key_is User "$user" || fail "User='$(key User)'"
for pair in OLE=1 AutoZoom=1 UserReq=0 DelConfirmation=1 MoveConfirmation=1 OnTop=1 Systray=0 \
    'AniPattern=*.avi;*.mpg;*.mpeg;*.mov;*.viv;*.qm;*.mp4;*.mkv;*.webm;*.m4v' \
    "PicPattern=*.jpg;*.jpeg;*.bmp;*.gif;*.wmf;*.emf;*.ico;*.png;*.webp;*.tif;*.tiff;*.tga;*.heic;*.heif;*.avif;*.jxl;$raw_types" \
    AutoSkip=0 AutoSkipInterval=2; do
    key_is "${pair%%=*}" "${pair#*=}" || fail "${pair%%=*}='$(key "${pair%%=*}")', expected '${pair#*=}'"
done
key_is AppPath "$work/prog/" || fail "AppPath='$(key AppPath)'"
# The session's copy directory is not stored.
[ -z "$(key defaultcopydir)" ] || fail "defaultcopydir='$(key defaultcopydir)'"

check_sanitizer_reports "$work/lumorra.log"

echo "PASS"
exit 0
