#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <memory>

// Owners of FFmpeg objects, each released with the library's own function.

// A context lent its file reader (AVFMT_FLAG_CUSTOM_IO) leaves the reader
// open when it closes; the reader goes right after it.
struct FormatContextCloser {
    void operator()(AVFormatContext* context) const {
        AVIOContext* lent = (context->flags & AVFMT_FLAG_CUSTOM_IO) != 0 ? context->pb : nullptr;
        avformat_close_input(&context);
        avio_closep(&lent);
    }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;

struct CodecContextFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;

struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;

struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;

struct ScalerFreer {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

struct BsfContextFreer {
    void operator()(AVBSFContext* context) const { av_bsf_free(&context); }
};
using BsfContextPtr = std::unique_ptr<AVBSFContext, BsfContextFreer>;

// Drops the data a packet refers to when the scope ends, so the packet object
// can be reused for the next read.
class PacketDataRelease {
public:
    explicit PacketDataRelease(AVPacket* packet) : packet_(packet) {}
    ~PacketDataRelease() { av_packet_unref(packet_); }
    PacketDataRelease(const PacketDataRelease&) = delete;
    PacketDataRelease& operator=(const PacketDataRelease&) = delete;

private:
    AVPacket* packet_;
};
