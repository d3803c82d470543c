#!/usr/bin/env bash
# CPU of `lumetra listen` on a private JACK server (dummy driver, 48 kHz) fed by jack_simple_client
# (its sine), at periods 64 and 256, with the terminal display (on a pseudo-terminal), with the
# editor window (on Xvfb) and with neither (--json to a file); then the xruns during a 60 s run at
# period 64. CPU is user + system time of the listen process from /proc/PID/stat over a steady
# stretch, in percent of one core.
#   bench/listen_cpu.sh [BUILD_DIR] [SECONDS_PER_CASE] [XRUN_SECONDS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-10}
xrun_seconds=${3:-60}
warmup=2
tick=$(getconf CLK_TCK)
work=$(mktemp -d)
server="lumetra-bench-$$"
export JACK_DEFAULT_SERVER=$server
jackd_pid= player_pid=
cleanup() {
    [[ -n $player_pid ]] && kill "$player_pid" 2>/dev/null && wait "$player_pid" 2>/dev/null
    [[ -n $jackd_pid ]] && kill "$jackd_pid" 2>/dev/null && wait "$jackd_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

start_server() {  # start_server PERIOD
    jackd -n "$server" -d dummy -r 48000 -p "$1" >"$work/jackd.log" 2>&1 &
    jackd_pid=$!
    for _ in $(seq 100); do jack_lsp >/dev/null 2>&1 && break; sleep 0.05; done
    jack_simple_client >/dev/null 2>&1 &
    player_pid=$!
    sleep 0.5
}
stop_server() {
    kill "$player_pid" && wait "$player_pid" 2>/dev/null || true
    kill "$jackd_pid" && wait "$jackd_pid" 2>/dev/null || true
    player_pid= jackd_pid=
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# measure NAME COMMAND...: starts the command, finds the lumetra process, samples its CPU.
measure() {
    local name=$1; shift
    "$@" >/dev/null 2>"$work/err" &
    local launcher=$! pid=
    for _ in $(seq 100); do
        if [[ $(cat "/proc/$launcher/comm" 2>/dev/null) == lumetra ]]; then pid=$launcher; break; fi
        pid=$(pgrep -n -x lumetra -P "$launcher" || true)
        [[ -n $pid ]] && break
        sleep 0.05
    done
    if [[ -z $pid ]]; then echo "$name: lumetra did not start: $(cat "$work/err")" >&2; wait "$launcher"; return; fi
    sleep "$warmup"
    local t0 c0 t1 c1
    t0=$(date +%s.%N); c0=$(cpu_ticks "$pid")
    sleep "$seconds"
    t1=$(date +%s.%N); c1=$(cpu_ticks "$pid")
    wait "$launcher" || true
    awk -v n="$name" -v c="$((c1 - c0))" -v t0="$t0" -v t1="$t1" -v hz="$tick" \
        'BEGIN { printf "%-34s %6.2f %% of one core\n", n, 100 * c / hz / (t1 - t0) }'
}

total=$((warmup + seconds + 1))
listen=("$build/lumetra" listen --connect 'jack_simple_client:output[12]' --for "$total")
for period in 64 256; do
    start_server "$period"
    measure "period $period, terminal display" script -qfec "$(printf '%q ' "${listen[@]}")" /dev/null
    measure "period $period, window (Xvfb)" xvfb-run -a "${listen[@]}" --window
    measure "period $period, --json to a file only" "${listen[@]}" --json "$work/out.json" --no-live
    stop_server
done

# Xruns at period 64: the server alone with the player first, then with lumetra listen as well.
xruns_in_log() { grep -ci 'xrun' "$work/jackd.log" || true; }
start_server 64
sleep "$xrun_seconds"
alone=$(xruns_in_log)
stop_server
start_server 64
"$build/lumetra" listen --connect 'jack_simple_client:output[12]' --for "$xrun_seconds" --json "$work/out.json" --no-live \
    2>"$work/listen.err"
with_listen=$(xruns_in_log)
stop_server
reported=$(grep -oE '[0-9]+ xruns? reported' "$work/listen.err" | grep -o '^[0-9]*' || echo 0)
rt=$(grep -q 'Cannot use real-time' "$work/jackd.log" && echo "without real-time scheduling" || echo "real-time scheduling")
echo "period 64, ${xrun_seconds} s ($rt): ${with_listen} xruns in the server's log with listen running" \
     "(${reported} reported to listen), ${alone} without it"
