#!/bin/bash
# lumorra under valgrind's memcheck on an X server of its own: started with a settings file of
# a known user, shown, then closed the way the user closes it (SIGTERM closes the main window).
# Fails when memcheck finds memory definitely lost whose allocation was made by the program's
# own code (the first caller of the allocator is one of the program's functions), or a memory
# error in the program's own code. Reports inside the libraries (Qt, xcb, fontconfig, Mesa,
# GLib) are listed, not failed; valgrind.supp beside this script holds the known ones.
#
#   LUMORRA_BIN_DIR=build/bin tests/process/valgrind_startup.sh
#
# Keeps the memcheck report in $LUMORRA_VALGRIND_LOG when that is set. Exit 77 (skipped) when
# valgrind or the X tools are missing.

set -u

here=$(cd "$(dirname "$0")" && pwd)
shot_dir=${LUMORRA_SHOT_DIR:-}
source "$here/../support/xsession.sh"
needs_tools Xvfb xdotool valgrind
needs_programs lumorra lmhelp.hlp

report="$work/memcheck.log"
fail_files=("$work/prog/LMRunLog.txt" "$report")

install_programs lumorra lmhelp.hlp
touch "$work/pics/one.jpg"
write_settings Systray=0 SystrayLoaded=0 "startupdir=$work/pics"

export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" LUMORRA_AUDIO=null
start_x

# See valgrind_hwy_timer.c.
preload=()
if command -v cc >/dev/null &&
    cc -shared -fPIC -O2 -o "$work/hwy_timer.so" "$here/valgrind_hwy_timer.c" 2>/dev/null; then
    preload=(env LD_PRELOAD="$work/hwy_timer.so")
fi

echo "== lumorra under memcheck (display $DISPLAY)"
"${preload[@]}" valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --num-callers=30 --track-origins=no \
    --suppressions="$here/valgrind.supp" --log-file="$report" \
    "$work/prog/lumorra" >"$work/lumorra.log" 2>&1 &
pid=$!

main_window() { xdotool search --onlyvisible --name '^Lumorra$' >/dev/null 2>&1; }
wait_for 180 "the main window under valgrind" main_window
grep -q '^PROGRAM LOAD COMPLETED' "$work/prog/LMRunLog.txt" || fail "start-up did not complete"
sleep 2
shot valgrind-shown
kill -TERM "$pid"
ended() { ! kill -0 "$pid" 2>/dev/null; }
wait_for 120 "lumorra to close" ended
wait "$pid"
status=$?
[ -n "${LUMORRA_VALGRIND_LOG:-}" ] && cp "$report" "$LUMORRA_VALGRIND_LOG"
[ "$status" -eq 0 ] || fail "lumorra ended with status $status"

# Each report: its first line and whose code it is in. A loss belongs to the code that called
# the allocator; a memory error to the program when one of its three innermost frames is the
# program's own.
ours_re='^(lumorra::|main \()|\(in .*/prog/lumorra\)'
summary=$(awk -v ours="$ours_re" '
    function strip(line) { sub(/^==[0-9]+== +/, "", line); return line }
    /are definitely lost in loss record/ { kind = "loss"; head = strip($0); frames = 0; next }
    /^==[0-9]+== (Invalid (read|write|free)|Conditional jump|Use of uninitialised value|Syscall param|Mismatched free|Source and destination overlap)/ {
        kind = "error"; head = strip($0); frames = 0; owner = "library"; next
    }
    kind != "" && /(at|by) 0x/ {
        frame = $0; sub(/^==[0-9]+== +(at|by) 0x[0-9A-F]+: /, "", frame)
        if (kind == "loss") {
            if (frame ~ /^(malloc|calloc|realloc|operator new|memalign|posix_memalign|aligned_alloc|strdup)/) next
            print (frame ~ ours ? "OURS" : "library") " loss: " head " -- " frame
            kind = ""
            next
        }
        if (frame ~ ours) owner = "OURS"
        if (++frames == 3) { print owner " error: " head " -- " frame; kind = "" }
    }' "$report")
definite=$(sed -n 's/^==[0-9]*== *definitely lost: \([0-9,]*\) bytes.*/\1/p' "$report" | tr -d , | tail -n1)
ours=$(printf '%s\n' "$summary" | sed -n 's/^OURS loss: \([0-9,]*\) .*/\1/p' | tr -d , |
    awk '{ s += $1 } END { print s + 0 }')
our_errors=$(printf '%s\n' "$summary" | grep -c '^OURS error:')

[ -n "$summary" ] && printf '%s\n' "$summary"
echo "definitely lost in all: ${definite:-0} bytes; by the program's own code: $ours bytes;" \
    "memory errors in the program's own code: $our_errors"
[ "$our_errors" -eq 0 ] || fail "memcheck found memory errors in the program's own code"
[ "$ours" -eq 0 ] || fail "the program's own code lost memory"
echo "PASS"
exit 0
