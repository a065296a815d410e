#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
}

// Owners for FFmpeg objects, each released with the library's own function.

struct FormatContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
// A demultiplexer opened with avformat_open_input.
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;

struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;

struct BsfContextFreer {
    void operator()(AVBSFContext* context) const { av_bsf_free(&context); }
};
using BsfContextPtr = std::unique_ptr<AVBSFContext, BsfContextFreer>;
