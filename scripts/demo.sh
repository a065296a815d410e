#!/bin/sh
# The whole road of a title on one machine, with no headset and no network:
# a sample clip, the service in one network namespace, the headset tool in a
# second one, joined by a veth pair with addresses of our own. Shows
# discovery, the title list (thumbnails into demo-out/) and a play of the
# clip into demo-out/clip.mkv. Needs root, or a user namespace, for the
# namespaces.
#   scripts/demo.sh [BUILD_DIR]
set -eu

build=${1:-build}
out=demo-out
server_ns=ondu-demo-server-$$
headset_ns=ondu-demo-headset-$$
server_address=10.231.9.1
headset_address=10.231.9.2
server_pid=

# A normal user runs it in a user namespace of its own, where it may make
# network namespaces (ip netns keeps them under a private /run); where the
# system allows no such namespace, through sudo.
if [ -n "${ONDU_DEMO_IN_USER_NAMESPACE:-}" ]; then
    mount -t tmpfs tmpfs /run
elif [ "$(id -u)" -ne 0 ]; then
    if unshare --map-root-user --mount --net -- sh -c 'mount -t tmpfs tmpfs /run' 2>/dev/null; then
        exec env ONDU_DEMO_IN_USER_NAMESPACE=1 unshare --map-root-user --mount --net -- "$0" "$@"
    fi
    if command -v sudo >/dev/null 2>&1; then
        exec sudo "$0" "$@"
    fi
    echo "demo: the network namespaces need root, or user namespaces, which this system does not allow" >&2
    exit 1
fi
for program in "$build/OnduLofrin" "$build/ondu-headset"; do
    [ -x "$program" ] || { echo "demo: $program is missing; run make first" >&2; exit 1; }
done

cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    ip netns del "$server_ns" 2>/dev/null || true
    ip netns del "$headset_ns" 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step() { printf '\n== %s\n' "$*"; }

step "Making a 6 s sample clip (H.264 and AAC) in $out/"
rm -rf "$out"
mkdir -p "$out"
ffmpeg -nostdin -y -v error \
    -f lavfi -i "testsrc2=s=1280x720:r=30:d=6" -f lavfi -i "sine=f=440:d=6" \
    -c:v libx264 -preset veryfast -g 30 -pix_fmt yuv420p -c:a aac -shortest "$out/clip.mp4"
clip=$(cd "$out" && pwd)/clip.mp4

step "Two network namespaces joined by a veth pair: $server_address and $headset_address"
ip netns add "$server_ns"
ip netns add "$headset_ns"
ip link add ondu-demo-s netns "$server_ns" type veth peer name ondu-demo-h netns "$headset_ns"
ip -n "$server_ns" addr add "$server_address/24" dev ondu-demo-s
ip -n "$headset_ns" addr add "$headset_address/24" dev ondu-demo-h
for ns in "$server_ns" "$headset_ns"; do
    ip -n "$ns" link set lo up
done
ip -n "$server_ns" link set ondu-demo-s up
ip -n "$headset_ns" link set ondu-demo-h up

step "Starting the service: OnduLofrin --serve --no-directory clip.mp4"
program=$(cd "$build" && pwd)/OnduLofrin
headset=$(cd "$build" && pwd)/ondu-headset
# Its Config.ini, log and cache of titles stay in the demo's folder.
(cd "$out" && XDG_CACHE_HOME="$PWD/cache" CACHE_DIRECTORY= \
    exec ip netns exec "$server_ns" "$program" --serve --no-directory "$clip") \
    >"$out/server.log" 2>&1 &
server_pid=$!
in_headset() { ip netns exec "$headset_ns" "$headset" "$@"; }

step "ondu-headset discover: what a headset hears on UDP port 12450"
in_headset discover --seconds 5 --first

step "ondu-headset list $server_address --thumbs $out"
in_headset list "$server_address" --thumbs "$out"

step "ondu-headset play $server_address 0 --out $out/clip.mkv"
in_headset play "$server_address" 0 --out "$out/clip.mkv"

step "What arrived, as ffprobe sees it"
ffprobe -v error -show_entries stream=codec_name,width,height,sample_rate:format=duration \
    -of compact=p=0 "$out/clip.mkv"

step "Done: $out/clip.mkv plays in any player; $out/title-0.png is the title's thumbnail"
