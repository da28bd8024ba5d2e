# Sourced by bench/run for its profile mode. profile_startup BIN DATA RUNS: see bench/run.
profile_startup() {
    local bin=$1 data=$2 runs=$3 mp i out
    # PROFILE_PROGRAMS=DIR profiles the programs of another build (an earlier one, say).
    local programs=${PROFILE_PROGRAMS:-$bin}
    . bench/data.sh
    make_single "$data" p2 1732 1155 8
    make_single "$data" p12 4243 2828 9
    make_single "$data" p24 6000 4000 7
    mkdir -p "$data/empty"
    . bench/xserver.sh
    start_bench_x 1920x1080 || return 1
    work=$(mktemp -d) # global: the trap reads it after the function returns
    trap 'kill $xpid 2>/dev/null; rm -rf "$work"' EXIT
    unset QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS
    export LUMORRA_AUDIO=null
    mkdir -p "$work/prog"
    cp "$programs/lumorra" "$programs/lumorra_program.so" "$programs/lumorra_decoder" "$programs/lmtray" "$programs/lmhelp.hlp" "$work/prog/"
    echo "load: $(uptime | sed 's/.*load average: //')"
    for mp in 2 12 24; do
        : >"$work/all"
        for ((i = 0; i < runs; i++)); do
            rm -rf "$work/home" "$work/prog/LMRunLog.txt" "$work/prog/LMLog.txt"
            mkdir -p "$work/home/config/Tovik Software" "$work/home/state" "$work/home/cache"
            cat >"$work/home/config/Tovik Software/Lumorra.conf" <<CONF
[Lumorra]
User=Bench
UserReq=0
SpcSetting=nosplash
Systray=0
OLE=0
AutoZoom=1
OnTop=0
startupdir=$data/empty
CONF
            out=$(HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_STATE_HOME=$work/home/state \
                XDG_CACHE_HOME=$work/home/cache "$bin/xpoll" --stamp LUMORRA_PROFILE_STARTUP \
                band 1000 ff00ff -- "$work/prog/lumorra" "$data/p$mp/p$mp.jpg" 2>"$work/err") || continue
            # One line per phase and run: RUN ORDER MS PHASE; the order is that of the run.
            awk -v r="$i" '$1 == "lumorra-profile" { ms = $2; $1 = $2 = ""; sub(/^ +/, "");
                           print r, ++n, ms, $0 }' "$work/err" >>"$work/all"
            echo "$i 999 $out on screen" >>"$work/all"
        done
        echo "open-${mp}mp: phase, ms since start, ms since the phase before (median of $runs)"
        # The median of each phase's times over the runs, the phases in the order of their medians.
        awk '{ ms = $3; key = $0; sub(/^[^ ]+ [^ ]+ [^ ]+ /, "", key)
               if (!(key in order)) { order[key] = $2 + 0; names[++count] = key }
               v[key, ++k[key]] = ms }
             END {
               for (i = 1; i <= count; i++) {
                 key = names[i]; n = k[key]
                 for (a = 1; a <= n; a++) s[a] = v[key, a]
                 for (a = 1; a <= n; a++) for (b = a + 1; b <= n; b++) if (s[b] < s[a]) { t = s[a]; s[a] = s[b]; s[b] = t }
                 med[key] = n % 2 ? s[(n + 1) / 2] : (s[n / 2] + s[n / 2 + 1]) / 2
                 print order[key], med[key], key
               }
             }' "$work/all" | sort -k2,2g |
            awk '{ ms = $2; $1 = $2 = ""; sub(/^ +/, "")
                   printf "  %-36s %8.1f %8.1f\n", $0, ms, ms - (NR > 1 ? last : 0); last = ms }'
    done
}
