#!/bin/sh
# A long run: 4 headsets play for SOAK_SECONDS (60 by default; 600 for the
# full soak), seeking every 20 s, three of them an ordinary 1080p title at
# 40 Mbit/s and one a 256 MiB packaged title. Every 10 s it samples the
# server's resident memory, open descriptors and threads. Meets its target
# when the resident memory stays within 10% after the warm-up (the first
# minute, or the first half of a shorter run: the packaged title's 100 MiB
# block cache takes about 20 s to fill at this rate) and the descriptors and
# threads are back at their starting counts once the headsets have gone (the
# media threads end after 5 s without work); the last line says so in the
# form of bench/BenchVerdict.h.
# A short run (under 60 s, at least 10 s) is a smoke test: a third of it, at
# least 5 s, is the warm-up, it samples ten times, and the packaged title is
# small enough to be read whole, and so cached whole, in half the warm-up.
#   bench/soak.sh [BUILD_DIR]
# The service runs on loopback inside a private network namespace.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/bench/loopback_service.sh"
length=${SOAK_SECONDS:-60}
if [ "$length" -lt 10 ]; then
    echo "soak: SOAK_SECONDS must be 10 or more, not $length" >&2
    exit 2
fi
if [ "$length" -ge 60 ]; then
    interval=10
    warmup=$((length / 2 < 60 ? length / 2 : 60))
    packaged_mib=256
else
    interval=$((length / 10))
    warmup=$((length / 3 > 5 ? length / 3 : 5))
    # 40 Mbit/s is 5 MB/s: what the packaged headset reads in half the warm-up.
    packaged_mib=$((warmup * 5 / 2))
fi
media=$build/bench-media/load-1080p-h264-40mbit.mp4
packaged=$build/bench-media/soak-movie-$packaged_mib.vrm

"$here/bench/make_load_media.sh" "$media"
python3 "$here/bench/make_packaged_movie.py" "$packaged" "$packaged_mib"
media=$(realpath "$media")
packaged=$(realpath "$packaged")

start_loopback_service "$build" "$build/soak-server.log" "$media" "$packaged"

rss_kib() { sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$server_pid/status"; }
threads() { sed -n 's/^Threads:[[:space:]]*//p' "/proc/$server_pid/status"; }
descriptors() { ls "/proc/$server_pid/fd" | wc -l; }

# The probe that found the service up has closed its connection, which the
# server notices within its poll wait, and the media threads that served it
# end 5 s after their last job.
sleep 7
start_fds=$(descriptors)
start_threads=$(threads)
echo "soak: $length s, 4 headsets (titles 0,0,0 and a $packaged_mib MiB packaged 1) at 40 Mbit/s," \
    "seeks every 20 s, samples every $interval s after a warm-up of $warmup s"
echo "server at rest: rss $(rss_kib) KiB, $start_fds descriptors, $start_threads threads"
echo
# The headsets play a little longer than the sampling, so the last sample
# is taken while they still play.
"$build/ondu-headset" load 127.0.0.1 --clients 4 --seconds "$((length + 5))" --rate 40 \
    --title 0,0,0,1 --seek-every 20 >"$build/soak-load.log" 2>&1 &
load_pid=$!

echo "| time s | rss KiB | descriptors | threads |"
echo "|---:|---:|---:|---:|"
rss_min=
rss_max=
elapsed=0
while [ "$elapsed" -lt "$length" ]; do
    sleep "$interval"
    elapsed=$((elapsed + interval))
    rss=$(rss_kib)
    echo "| $elapsed | $rss | $(descriptors) | $(threads) |"
    if [ "$elapsed" -ge "$warmup" ]; then
        [ -n "$rss_min" ] && [ "$rss" -ge "$rss_min" ] || rss_min=$rss
        [ -n "$rss_max" ] && [ "$rss" -le "$rss_max" ] || rss_max=$rss
    fi
done
load_status=0
wait "$load_pid" || load_status=$?
load_pid=
sleep 2  # the server notices the closed connections within its poll wait
end_fds=$(descriptors)
# Media threads left without work end after 5 s.
waited=0
while [ "$(threads)" -ne "$start_threads" ] && [ "$waited" -lt 10 ]; do
    sleep 1
    waited=$((waited + 1))
done
end_threads=$(threads)
echo
grep -E '^(requests|latency|throughput|behind|error)' "$build/soak-load.log" || true
echo "after the headsets left: rss $(rss_kib) KiB, $end_fds descriptors, $end_threads threads"

verdict=meets
growth=$(awk "BEGIN { printf \"%.1f\", ($rss_max - $rss_min) * 100 / $rss_min }")
awk "BEGIN { exit !($rss_max <= $rss_min * 1.10) }" || verdict=misses
[ "$end_fds" -eq "$start_fds" ] || verdict=misses
[ "$end_threads" -eq "$start_threads" ] || verdict=misses
[ "$load_status" -eq 0 ] || verdict=misses
echo "rss after ${warmup} s: $rss_min..$rss_max KiB (spread $growth%, limit 10%);" \
    "descriptors $start_fds -> $end_fds; threads $start_threads -> $end_threads;" \
    "load exit $load_status"
echo "verdict | soak.sh | rss spread $growth% after $warmup s, descriptors $start_fds -> $end_fds," \
    "threads $start_threads -> $end_threads, load exit $load_status |" \
    "spread <= 10%, descriptors and threads back, load exit 0 | $verdict"
[ "$verdict" = meets ]
