# Sourced by the benchmarks. start_bench_x WIDTHxHEIGHT: an X server of the benchmark's own on a
# display number no other server holds (lock file, socket, or the abstract socket that clients
# try first and that servers outside this /tmp may hold). It does not reset when its last client
# leaves, which would refuse a client connecting meanwhile. Sets DISPLAY and xpid.
start_bench_x() {
    local n
    for _ in $(seq 30); do
        n=$((100 + RANDOM % 800))
        [ -e "/tmp/.X$n-lock" ] && continue
        grep -q "X11-unix/X$n\$" /proc/net/unix 2>/dev/null && continue
        Xvfb ":$n" -screen 0 "${1}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
        xpid=$!
        export DISPLAY=:$n
        for _ in $(seq 50); do
            xdpyinfo >/dev/null 2>&1 && return 0
            kill -0 "$xpid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$xpid" 2>/dev/null
    done
    echo "no X server could be started" >&2
    return 1
}
