# Shared by the process tests: a work directory, an X server of the test's own, polling and
# screenshots. Source it after setting `shot_dir` (and `x_screen`, WIDTHxHEIGHT, for a screen
# other than 1280x1024); it sets `work`, `conf` (the settings file below $work/config) and,
# after start_x, DISPLAY.
# A test lists the files worth showing on failure in `fail_files`.

work=$(mktemp -d "${TMPDIR:-/tmp}/lumorra-test.XXXXXX")
conf="$work/config/Tovik Software/Lumorra.conf"
helpers=()
fail_files=()

# Ends everything the test started from its work directory, then the X server and friends.
cleanup() {
    pkill -TERM -f "^$work/" 2>/dev/null
    sleep 0.3
    pkill -KILL -f "^$work/" 2>/dev/null
    local pid
    for pid in "${helpers[@]}"; do
        kill "$pid" 2>/dev/null
    done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    if [ -n "${xserver_pid:-}" ]; then
        kill -0 "$xserver_pid" 2>/dev/null && echo "(the X server on $DISPLAY runs)" ||
            echo "(the X server on $DISPLAY has ended)"
    fi
    local f
    for f in "$work"/*.log "${fail_files[@]}"; do
        [ -s "$f" ] && { echo "--- $(basename "$f")"; cat -v "$f"; }
    done
    exit 1
}

# wait_for SECONDS DESCRIPTION COMMAND...: polls until the command succeeds.
wait_for() {
    local tries=$(($1 * 10)) what=$2
    shift 2
    while ! "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || fail "timed out waiting for $what"
        sleep 0.1
    done
}

# needs_tools TOOL...: the test is skipped (exit 77) where one of them is not installed.
needs_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
    done
}

# needs_programs NAME...: the test fails where the build has not made one of them.
needs_programs() {
    local prog
    for prog in "$@"; do
        [ -e "${LUMORRA_BIN_DIR:-}/$prog" ] || fail "no $prog in '${LUMORRA_BIN_DIR:-}'"
    done
}

# install_programs NAME...: the program directory $work/prog with these built files, an empty
# picture directory $work/pics and the settings file's directory.
install_programs() {
    mkdir -p "$work/prog" "$work/pics" "$(dirname "$conf")"
    local prog
    for prog in "$@"; do
        cp "$LUMORRA_BIN_DIR/$prog" "$work/prog/"
    done
}

# write_settings LINE...: the settings file of the user Anna, who is not asked her name and
# sees no splash window, with these lines after.
write_settings() {
    printf '%s\n' '[Lumorra]' 'User=Anna' 'UserReq=0' 'SpcSetting=nosplash' "$@" >"$conf"
}

shot() {
    [ -n "${shot_dir:-}" ] && import -window root "$shot_dir/$1.png" 2>/dev/null
    return 0
}

# Each test has an X server of its own on a display number no other server holds, neither in
# /tmp (lock file, socket) nor in the abstract socket namespace, which clients try first and which
# other X servers on the machine may share with us even when /tmp is not shared. A server that
# could not open all its listening sockets is stopped and another number tried, so that test
# programs running side by side never race for a number. The server does not reset when its
# last client leaves (-noreset): a client connecting during a reset is refused, which a test
# polling with short-lived clients (xdotool, xprop) would meet now and then. Qt is kept off any
# desktop's session bus, whose tray would stand in for the test's own.
start_x() {
    mkdir -p "$work/runtime"
    chmod 700 "$work/runtime"
    export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
    unset WAYLAND_DISPLAY QT_QPA_PLATFORMTHEME
    local attempt n pid tries
    for attempt in $(seq 1 20); do
        n=$((20 + RANDOM % 900))
        [ -e "/tmp/.X$n-lock" ] && continue
        grep -q "X11-unix/X$n\$" /proc/net/unix 2>/dev/null && continue
        : >"$work/display"
        Xvfb ":$n" -displayfd 3 -screen 0 "${x_screen:-1280x1024}x24" -nolisten tcp -noreset 3>"$work/display" \
            >"$work/xvfb.log" 2>&1 &
        pid=$!
        tries=200
        while [ ! -s "$work/display" ] && kill -0 "$pid" 2>/dev/null && [ "$tries" -gt 0 ]; do
            sleep 0.1
            tries=$((tries - 1))
        done
        # Ready, with all its sockets, and a client reaches it.
        if [ -s "$work/display" ] && ! grep -qE 'already running|Listener.*failed' "$work/xvfb.log" &&
            DISPLAY=":$n" xprop -root -len 1 _NET_NONE >/dev/null 2>&1; then
            helpers+=("$pid")
            xserver_pid=$pid
            export DISPLAY=":$n"
            return 0
        fi
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    fail "no X server could be started"
}

# Starts openbox on the test's X server and waits until it manages the screen.
start_wm() {
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    helpers+=($!)
    wait_for 20 "the window manager" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
}

# Fails when a sanitizer build reported something on the standard error of a program.
check_sanitizer_reports() {
    if cat "$@" 2>/dev/null | grep -qE 'Sanitizer|runtime error:'; then
        fail "the sanitizer reported an error"
    fi
}
