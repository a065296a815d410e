#!/bin/sh
# Thirty-two headsets playing beside a thousand connections that never send
# a request, with the service under a 1024-descriptor limit (what a desktop
# session or a systemd service gets by default), so that the silent ones fill
# its descriptors and every headset that arrives takes the place of the
# quietest of them. The 32 players run first alone, as the reference, then
# beside the silent connections; each run prints the players' batch
# latencies, how many fell behind real time and the processor time the
# server used (in cores). Between the two, the server's processor time with
# only the silent connections, at rest. Ends with a verdict line (the form of
# bench/BenchVerdict.h): beside the silent connections, p99 under 50 ms with
# no player behind, and the server at rest under a quarter of a core.
#   bench/silent_connections.sh [BUILD_DIR]   (SILENT_SECONDS=20 per run,
#                                              SILENT_CONNECTIONS=1000)
# The service runs on loopback inside a private network namespace.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/bench/loopback_service.sh"
seconds=${SILENT_SECONDS:-20}
silent=${SILENT_CONNECTIONS:-1000}
clients=32
rate=40
rest_seconds=5
target_p99_ms=50
target_rest_cores=0.25
media=$build/bench-media/load-1080p-h264-40mbit.mp4

"$here/bench/make_load_media.sh" "$media"
media=$(realpath "$media")

service_descriptor_limit=1024
start_loopback_service "$build" "$build/silent-server.log" "$media"

server_ticks() { awk '{ print $14 + $15 }' "/proc/$server_pid/stat"; }
ticks_per_second=$(getconf CLK_TCK)
cores_since() {
    awk "BEGIN { printf \"%.2f\", ($(server_ticks) - $1) / $ticks_per_second / $2 }"
}
field() { echo "$result" | tr ' ' '\n' | sed -n "s/^$1=//p"; }

# play LABEL: the players for $seconds; prints their row, sets p99 and behind.
play() {
    ticks_before=$(server_ticks)
    result=$("$build/ondu-headset" load 127.0.0.1 --clients "$clients" --seconds "$seconds" \
        --rate "$rate" | grep '^RESULT') || true
    cores=$(cores_since "$ticks_before" "$seconds")
    p99=$(field p99_ms)
    behind=$(field behind)
    echo "| $1 | $(field requests) | $(field p50_ms) | $p99 | $(field max_ms) |" \
        "$behind of $clients | $(field errors) | $cores |"
}

echo "silent connections: $clients players at $rate Mbit/s for $seconds s, alone and beside" \
    "$silent connections that never ask, the service limited to" \
    "$service_descriptor_limit descriptors"
echo
echo "| players | batches | p50 ms | p99 ms | max ms | behind real time | errors | server cores |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|"
play alone
p99_alone=$p99

# The silent connections, held by a process of their own until the script ends.
python3 - "$silent" >"$build/silent-holder.log" 2>&1 <<'PYTHON' &
import resource, socket, sys, time
wanted = int(sys.argv[1])
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
held = [socket.create_connection(("127.0.0.1", 23107)) for _ in range(wanted)]
print("holding", len(held), flush=True)
time.sleep(3600)
PYTHON
load_pid=$!
for _ in $(seq 300); do
    grep -q '^holding' "$build/silent-holder.log" && break
    sleep 0.1
done
sleep 2
ticks_before=$(server_ticks)
sleep "$rest_seconds"
rest_cores=$(cores_since "$ticks_before" "$rest_seconds")

play "beside $silent silent"
echo
shortages=$(grep -c 'no descriptor left for a new connection' "$build/silent-server.log" || true)
echo "at rest beside the silent connections: $rest_cores server cores;" \
    "shortages told to the operator: $shortages"
[ -n "$p99" ] || p99=-1
ratio=$(awk "BEGIN { printf \"%.2f\", $p99 / ($p99_alone + 0.000001) }")
echo "p99 beside them / alone: $p99 / $p99_alone ms = $ratio"
target="p99 < $target_p99_ms ms beside $silent silent, none behind, rest < $target_rest_cores cores"
verdict=meets
awk "BEGIN { exit !($p99 >= 0 && $p99 < $target_p99_ms && $rest_cores < $target_rest_cores) }" &&
    [ "$behind" = 0 ] || verdict=misses
echo "verdict | silent_connections.sh | p99 $p99 ms ($ratio x alone), $behind behind," \
    "$(field errors) errors, rest $rest_cores cores | $target | $verdict"
