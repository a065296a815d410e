#include "catalogue/Thumbnail.h"

#include "platform/FfmpegHandles.h"

namespace {

constexpr int kScalerFlags = SWS_FAST_BILINEAR | SWS_ACCURATE_RND;

// Seek targets on stream -1 are absolute times, while the duration counts from
// the first time stamp. Containers such as MPEG-TS rarely start at zero, so
// the start time is added; otherwise the target could lie before the start.
void SeekToMiddle(AVFormatContext* formatContext) {
    if (formatContext->duration == AV_NOPTS_VALUE)
        return;
    int64_t target = formatContext->duration / 2;
    const int64_t start = formatContext->start_time;
    if (start != AV_NOPTS_VALUE && __builtin_add_overflow(target, start, &target)) {
        target = formatContext->duration / 2;
    }
    // On failure reading simply goes on from where it is.
    (void)av_seek_frame(formatContext, -1, target, 0);
}

// The next picture the decoder has ready, if any.
bool ReceivePicture(AVCodecContext* decoderContext, AVFrame* frame) {
    return avcodec_receive_frame(decoderContext, frame) >= 0;
}

// The scaler is made for the picture actually decoded rather than for the
// size the probe reported: a stream may change resolution, and a scaler for
// another size would read outside the frame.
void ScaleIntoThumbnail(const AVFrame& frame, ScalerPtr& scaler, CatalogueEntry& entry) {
    if (frame.width <= 0 || frame.height <= 0)
        return;
    if (entry.thumbnail.size() != static_cast<size_t>(THUMBNAIL_BYTES))
        return;
    scaler.reset(sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
                                THUMBNAIL_WIDTH, THUMBNAIL_HEIGHT, AV_PIX_FMT_BGRA, kScalerFlags,
                                nullptr, nullptr, nullptr));
    if (!scaler)
        return;
    uint8_t* const destination[4] = {entry.thumbnail.data(), nullptr, nullptr, nullptr};
    const int destinationStride[4] = {THUMBNAIL_ROW_BYTES, 0, 0, 0};
    sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, destination,
              destinationStride);
}

// Feeds the chosen stream's packets to the decoder, starting with its first
// key packet, until a picture comes out or the file ends.
bool DecodeFirstPicture(AVFormatContext* formatContext, int streamIndex,
                        AVCodecContext* decoderContext, AVPacket* packet, AVFrame* frame) {
    bool keyPacketSent = false;
    while (av_read_frame(formatContext, packet) >= 0) {
        const PacketDataRelease release(packet);
        if (packet->stream_index != streamIndex)
            continue;
        if (!keyPacketSent && (packet->flags & AV_PKT_FLAG_KEY) == 0)
            continue;
        keyPacketSent = true;
        // A packet that fails to decode is not fatal; the next one may work.
        if (avcodec_send_packet(decoderContext, packet) < 0)
            continue;
        if (ReceivePicture(decoderContext, frame))
            return true;
    }
    if (!keyPacketSent)
        return false;
    // The decoder may still hold back pictures (reordering, frame threads);
    // an empty packet makes it give them up.
    (void)avcodec_send_packet(decoderContext, nullptr);
    return ReceivePicture(decoderContext, frame);
}

}  // namespace

void MakeThumbnail(AVFormatContext* formatContext, int streamIndex, AVCodecContext* decoderContext,
                   CatalogueEntry& entry) {
    // Declared in this order so that the frame goes first, then the packet,
    // then the scaler.
    ScalerPtr scaler;
    SeekToMiddle(formatContext);
    const PacketPtr packet(av_packet_alloc());
    const FramePtr frame(av_frame_alloc());
    if (!packet || !frame)
        return;
    if (DecodeFirstPicture(formatContext, streamIndex, decoderContext, packet.get(), frame.get())) {
        ScaleIntoThumbnail(*frame, scaler, entry);
    }
}
