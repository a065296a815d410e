#!/usr/bin/env bash
# Makes the library of the 8K start benchmark in folder $1: one 8192x4096
# HEVC Main 10 clip of 5 pictures at 25 a second with a key picture every
# third (at 0 and 0.12 s), made by the ffmpeg tool as a VR camera's files are
# (MP4, 4:2:0, 10 bits), and 32 hard links to it under names of their own,
# so that the disk plays no part. The middle (0.1 s) lies between the key
# pictures: the tool decodes from the first to the fourth picture for its
# thumbnail, the service only the second key picture. Beside it, in
# $1/hdr10-library, the same pictures as HDR10 would code them (PQ in
# BT.2020 colours: the stream's own colour tags rewritten, which costs no
# second encoding), linked 32 times. Encoding takes about a minute on two
# busy cores, once: files already there are kept.
set -euo pipefail

dir=${1:?usage: make_8k_library.sh FOLDER}
mkdir -p "$dir/library" "$dir/hdr10-library"
source=$dir/source-8k-main10-5p.mp4
hdr10=$dir/source-8k-hdr10-5p.mp4

if [ ! -s "$source" ]; then
    ffmpeg -nostdin -y -v error -f lavfi -i testsrc2=size=8192x4096:rate=25:duration=0.2 \
        -c:v libx265 -preset ultrafast -pix_fmt yuv420p10le \
        -x265-params keyint=3:min-keyint=3:scenecut=0:log-level=none "$source.partial.mp4"
    mv "$source.partial.mp4" "$source"
fi
for i in $(seq -w 1 32); do
    ln -f "$source" "$dir/library/title-$i.mp4"
done
if [ ! -s "$hdr10" ]; then
    ffmpeg -nostdin -y -v error -i "$source" -c copy \
        -bsf:v hevc_metadata=colour_primaries=9:transfer_characteristics=16:matrix_coefficients=9 \
        -color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc "$hdr10.partial.mp4"
    mv "$hdr10.partial.mp4" "$hdr10"
fi
for i in $(seq -w 1 32); do
    ln -f "$hdr10" "$dir/hdr10-library/title-$i.mp4"
done
