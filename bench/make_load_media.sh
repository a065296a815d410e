#!/bin/sh
# Makes the title the load and soak benchmarks play, unless it is there:
# 30 s of 1920x1080 at 30 fps, H.264 at a constant 40 Mbit/s, with AAC.
#   bench/make_load_media.sh FILE
set -eu
target=$1
[ -f "$target" ] && exit 0
echo "making $target (30 s, 1920x1080, H.264 at 40 Mbit/s, AAC)" >&2
mkdir -p "$(dirname "$target")"
ffmpeg -nostdin -y -v error \
    -f lavfi -i "testsrc2=s=1920x1080:r=30:d=30" -f lavfi -i "sine=f=440:d=30:r=48000" \
    -c:v libx264 -preset ultrafast -g 30 -b:v 40M -minrate 40M -maxrate 40M -bufsize 20M \
    -x264-params nal-hrd=cbr -pix_fmt yuv420p -c:a aac -b:a 128k -ac 2 -shortest \
    "$target.partial.mp4"
mv "$target.partial.mp4" "$target"
