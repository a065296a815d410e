#!/usr/bin/env bash
# Makes the library of the 8K start benchmark in folder $1: one 2-second
# 8192x4096 HEVC Main 10 clip at 25 frames a second with a key frame every
# second, made by the ffmpeg tool as a VR camera's files are (MP4, 4:2:0,
# 10 bits), and 32 hard links to it under names of their own, so that the
# disk plays no part. Beside it, in $1/hdr10-library, the same pictures as
# HDR10 would code them (PQ in BT.2020 colours: the stream's own colour tags
# rewritten, which costs no second encoding), linked 32 times. Encoding the
# clip takes a minute or two, once: files already there are kept.
set -euo pipefail

dir=${1:?usage: make_8k_library.sh FOLDER}
mkdir -p "$dir/library" "$dir/hdr10-library"
source=$dir/source-8k-main10.mp4
hdr10=$dir/source-8k-hdr10.mp4

if [ ! -s "$source" ]; then
    ffmpeg -nostdin -y -v error -f lavfi -i testsrc2=size=8192x4096:rate=25:duration=2 \
        -c:v libx265 -preset ultrafast -pix_fmt yuv420p10le \
        -x265-params keyint=25:min-keyint=25:log-level=none "$source.partial.mp4"
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
