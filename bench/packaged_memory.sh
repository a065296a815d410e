#!/bin/sh
# Memory per headset: the server's peak resident memory with 1, 2, 4 and 8
# headsets reading one 256 MiB packaged title in 4 MiB ranges as fast as they
# can, with 8 headsets reading 8 titles (hard links of the same file, each a
# title of its own), and with 1 and 8 headsets playing an ordinary 1080p
# title at 40 Mbit/s. Each run starts the server afresh, so its peak (VmHWM)
# is that run's own; its rest is its resident memory once it has answered
# the probe and the media threads that served it have ended. Meets its target
# when each further headset on the one title adds at most 10 MiB to the peak,
# 8 headsets on it stay within 160 MiB above rest, and 8 headsets on 8 titles
# within 256 MiB above rest (the block caches' one budget); the last line
# says so in the form of bench/BenchVerdict.h.
#   bench/packaged_memory.sh [BUILD_DIR]      (MEMORY_SECONDS=10 per run)
# The service runs on loopback inside a private network namespace.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/bench/loopback_service.sh"
seconds=${MEMORY_SECONDS:-10}
media_dir=$build/bench-media
packaged=$media_dir/soak-movie-256.vrm
media=$media_dir/load-1080p-h264-40mbit.mp4

"$here/bench/make_load_media.sh" "$media"
python3 "$here/bench/make_packaged_movie.py" "$packaged" 256
packaged=$(realpath "$packaged")
media=$(realpath "$media")
titles=
for i in 0 1 2 3 4 5 6 7; do
    ln -f "$packaged" "$media_dir/memory-title-$i.vrm"
    titles="$titles $(realpath "$media_dir/memory-title-$i.vrm")"
done

status_kib() { sed -n "s/^$1:[[:space:]]*\([0-9]*\).*/\1/p" "/proc/$server_pid/status"; }
mib() { awk "BEGIN { printf \"%.1f\", $1 / 1024 }"; }

# run LABEL CLIENTS TITLES RATE FILE...: one run on a fresh server; sets rest
# and peak (KiB).
run() {
    label=$1 clients=$2 title_list=$3 rate=$4
    shift 4
    start_loopback_service "$build" "$build/memory-server.log" "$@"
    sleep 7  # the probe's media threads end 5 s after their last job
    rest=$(status_kib VmRSS)
    set -- --clients "$clients" --seconds "$seconds" --title "$title_list"
    [ -z "$rate" ] || set -- "$@" --rate "$rate"
    "$build/ondu-headset" load 127.0.0.1 "$@" >"$build/memory-load.log" 2>&1 ||
        echo "memory: the headsets of '$label' failed, see $build/memory-load.log" >&2
    peak=$(status_kib VmHWM)
    stop_background
    echo "| $label | $clients | $(mib "$rest") | $(mib "$peak") | $(mib $((peak - rest))) |"
}

echo "memory: $seconds s per run; packaged headsets read 4 MiB ranges as fast as they can"
echo
echo "| headsets on | headsets | rest MiB | peak MiB | peak above rest MiB |"
echo "|---|---:|---:|---:|---:|"
run "one packaged title" 1 0 "" "$packaged"
peak_one=$peak
for clients in 2 4 8; do
    run "one packaged title" "$clients" 0 "" "$packaged"
done
peak_eight=$peak
above_eight=$((peak - rest))
# shellcheck disable=SC2086 # one argument per title
run "8 packaged titles" 8 0,1,2,3,4,5,6,7 "" $titles
above_titles=$((peak - rest))
run "an ordinary title, 40 Mbit/s" 1 0 40 "$media"
run "an ordinary title, 40 Mbit/s" 8 0 40 "$media"
echo

per_headset=$(( (peak_eight - peak_one) / 7 ))
verdict=meets
[ "$per_headset" -le $((10 * 1024)) ] || verdict=misses
[ "$above_eight" -le $((160 * 1024)) ] || verdict=misses
[ "$above_titles" -le $((256 * 1024)) ] || verdict=misses
echo "one packaged title: $(mib "$per_headset") MiB for each headset past the first (limit 10)," \
    "8 headsets $(mib "$above_eight") MiB above rest (limit 160);" \
    "8 titles: $(mib "$above_titles") MiB above rest (limit 256)"
echo "verdict | packaged_memory.sh | $(mib "$per_headset") MiB a further headset," \
    "$(mib "$above_eight") MiB above rest for 8, $(mib "$above_titles") for 8 titles" \
    "| <= 10 MiB a further headset, <= 160 MiB above rest for 8, <= 256 MiB for 8 titles" \
    "| $verdict"
