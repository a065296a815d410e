#!/bin/sh
# Many headsets on one server: 1, 4, 16, 32 and 48 clients each pulling a
# 1080p H.264 title of 40 Mbit/s at its real-time rate, through ondu-headset
# load. Prints the latency percentiles per batch, the throughput per client
# and the processor time the server used (in cores) per client count as a
# table, and ends with a verdict line (the form of
# bench/BenchVerdict.h): the 32-client p99 against its 20 ms target, with no
# client behind real time. 48 clients is the stretch beyond it.
#   bench/load.sh [BUILD_DIR]          (LOAD_SECONDS=20 per client count,
#                                       LOAD_CLIENTS="1 4 16 32 48")
# The service runs on loopback inside a private network namespace.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/bench/loopback_service.sh"
seconds=${LOAD_SECONDS:-20}
rate=40
target_p99_ms=20
target_clients=32
client_counts=${LOAD_CLIENTS:-1 4 16 32 48}
media=$build/bench-media/load-1080p-h264-40mbit.mp4

"$here/bench/make_load_media.sh" "$media"
media=$(realpath "$media")

start_loopback_service "$build" "$build/load-server.log" "$media"

echo "load: $seconds s per run, every client pulling at $rate Mbit/s (1 s of lead)"
echo
# The server's processor time so far, in clock ticks (user and system).
server_ticks() { awk '{ print $14 + $15 }' "/proc/$server_pid/stat"; }
ticks_per_second=$(getconf CLK_TCK)

echo "| clients | batches | p50 ms | p99 ms | max ms | Mbit/s per client | behind real time | errors | server cores |"
echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
p99_at_target=
behind_at_target=
for clients in $client_counts; do
    ticks_before=$(server_ticks)
    result=$("$build/ondu-headset" load 127.0.0.1 --clients "$clients" --seconds "$seconds" \
        --rate "$rate" | grep '^RESULT') || true
    cores=$(awk "BEGIN { printf \"%.2f\", ($(server_ticks) - $ticks_before) / $ticks_per_second / $seconds }")
    field() { echo "$result" | tr ' ' '\n' | sed -n "s/^$1=//p"; }
    echo "| $clients | $(field requests) | $(field p50_ms) | $(field p99_ms) | $(field max_ms) |" \
        "$(field mbit_per_client) | $(field behind) of $clients | $(field errors) | $cores |"
    if [ "$clients" = "$target_clients" ]; then
        p99_at_target=$(field p99_ms)
        behind_at_target=$(field behind)
    fi
done
echo
n=$target_clients
target="p99 < $target_p99_ms ms at $n clients, none behind"
if [ -z "$p99_at_target" ]; then
    echo "verdict | load.sh | no result at $n clients | $target | misses"
    exit 1
fi
ratio=$(awk "BEGIN { printf \"%.2f\", $p99_at_target / $target_p99_ms }")
verdict=meets
awk "BEGIN { exit !($p99_at_target < $target_p99_ms) }" && [ "$behind_at_target" = 0 ] ||
    verdict=misses
echo "$n clients: p99 $p99_at_target ms, ratio $ratio to the $target_p99_ms ms target;" \
    "$behind_at_target clients behind real time"
echo "verdict | load.sh | p99 $p99_at_target ms at $n clients, $behind_at_target behind |" \
    "$target | $verdict"
