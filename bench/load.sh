#!/bin/sh
# Many headsets on one server: 1, 4 and 16 clients each pulling a 1080p
# H.264 title of 40 Mbit/s at its real-time rate, through ondu-headset load.
# Prints the latency percentiles per batch and the throughput per client
# count as a table, and ends with a verdict line (the form of
# bench/BenchVerdict.h): the 16-client p99 against its 50 ms target, with no
# client behind real time.
#   bench/load.sh [BUILD_DIR]          (LOAD_SECONDS=20 per client count)
# The service runs on loopback inside a private network namespace.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/bench/loopback_service.sh"
if [ "${ONDU_ISOLATED:-}" != 1 ]; then
    ONDU_ISOLATED=1 exec "$here/scripts/isolated" "$0" "$@"
fi

build=${1:-build-bench}
[ -d "$build" ] || build=build
seconds=${LOAD_SECONDS:-20}
rate=40
target_p99_ms=50
media=$build/bench-media/load-1080p-h264-40mbit.mp4
server_pid=

cleanup() {
    [ -z "$server_pid" ] || { kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; } || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$here/bench/make_load_media.sh" "$media"
media=$(realpath "$media")

start_loopback_service "$build" "$build/load-server.log" "$media"

echo "load: $seconds s per run, every client pulling at $rate Mbit/s (1 s of lead)"
echo
echo "| clients | batches | p50 ms | p99 ms | max ms | Mbit/s per client | behind real time | errors |"
echo "|---:|---:|---:|---:|---:|---:|---:|---:|"
p99_at_16=
behind_at_16=
for clients in 1 4 16; do
    result=$("$build/ondu-headset" load 127.0.0.1 --clients "$clients" --seconds "$seconds" \
        --rate "$rate" | grep '^RESULT') || true
    field() { echo "$result" | tr ' ' '\n' | sed -n "s/^$1=//p"; }
    echo "| $clients | $(field requests) | $(field p50_ms) | $(field p99_ms) | $(field max_ms) |" \
        "$(field mbit_per_client) | $(field behind) of $clients | $(field errors) |"
    if [ "$clients" = 16 ]; then
        p99_at_16=$(field p99_ms)
        behind_at_16=$(field behind)
    fi
done
echo
target="p99 < $target_p99_ms ms at 16 clients, none behind"
if [ -z "$p99_at_16" ]; then
    echo "verdict | load.sh | no result at 16 clients | $target | misses"
    exit 1
fi
ratio=$(awk "BEGIN { printf \"%.2f\", $p99_at_16 / $target_p99_ms }")
verdict=meets
awk "BEGIN { exit !($p99_at_16 < $target_p99_ms) }" && [ "$behind_at_16" = 0 ] || verdict=misses
echo "16 clients: p99 $p99_at_16 ms, ratio $ratio to the $target_p99_ms ms target;" \
    "$behind_at_16 clients behind real time"
echo "verdict | load.sh | p99 $p99_at_16 ms at 16 clients, $behind_at_16 behind | $target | $verdict"
