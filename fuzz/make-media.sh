#!/usr/bin/env bash
# Makes the media titles the HandleRequest fuzz target serves, with the
# ffmpeg tool. The files are committed so that every run and every saved
# input meets the same bytes; run this again only to change them.
set -euo pipefail

cd "$(dirname "$0")/media"
exact=(-fflags +bitexact -flags:v +bitexact -flags:a +bitexact -map_metadata -1)
ff() { ffmpeg -nostdin -y -v error "$@"; }

subtitles=$(mktemp --suffix=.srt)
trap 'rm -f "$subtitles"' EXIT
printf '1\n00:00:00,000 --> 00:00:00,400\nfuzz\n' >"$subtitles"

# H.264 video, AAC audio and a text subtitle. One second of pictures big
# enough that a packet batch reaches its 16 KiB budget before the end.
ff -f lavfi -i testsrc=s=96x64:d=1:r=10 -f lavfi -i sine=f=440:d=1:r=8000 -i "$subtitles" \
    -map 0 -map 1 -map 2 -c:v libx264 -preset ultrafast -crf 10 -g 2 -bf 0 -pix_fmt yuv420p \
    -c:a aac -b:a 16k -c:s mov_text "${exact[@]}" h264-aac-text.mp4

# HEVC video alone, for the other Annex-B filter.
ff -f lavfi -i testsrc=s=64x48:d=0.3:r=10 -c:v libx265 -preset ultrafast \
    -x265-params log-level=none -pix_fmt yuv420p "${exact[@]}" hevc.mp4
