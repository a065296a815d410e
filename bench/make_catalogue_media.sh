#!/usr/bin/env bash
# Makes the 32 media files of the catalogue benchmark in folder $1: 16 named
# copies of a 10-second 1920x1080 H.264 clip and 16 of a 10-second 3840x1920
# HEVC clip, both with a key frame every second. The copies are hard links,
# since encoding sixteen 4K clips would take far longer than the benchmark.
# Files already there are kept.
set -euo pipefail

dir=${1:?usage: make_catalogue_media.sh FOLDER}
mkdir -p "$dir"

make_clip() {
    local target=$1
    shift
    if [ ! -s "$target" ]; then
        ffmpeg -nostdin -y -v error "$@" "$target.partial.${target##*.}"
        mv "$target.partial.${target##*.}" "$target"
    fi
}

make_clip "$dir/source_h264.mp4" -f lavfi -i testsrc2=size=1920x1080:rate=25:duration=10 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 25
make_clip "$dir/source_hevc.mkv" -f lavfi -i testsrc2=size=3840x1920:rate=25:duration=10 \
    -c:v libx265 -preset ultrafast -pix_fmt yuv420p -x265-params keyint=25:min-keyint=25:log-level=none

for i in $(seq -w 1 16); do
    ln -f "$dir/source_h264.mp4" "$dir/clip_${i}_h264.mp4"
    ln -f "$dir/source_hevc.mkv" "$dir/clip_${i}_hevc.mkv"
done
