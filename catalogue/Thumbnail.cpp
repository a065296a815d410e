#include "catalogue/Thumbnail.h"

#include "catalogue/ThumbnailConversion.h"
#include "platform/FfmpegHandles.h"

namespace {

// Far more than pictures are ever held back for reordering, in AV_TIME_BASE
// units.
constexpr int64_t kWellBeforeTheStart = int64_t{60} * AV_TIME_BASE;

// Seek targets on stream -1 are absolute times, while the duration counts from
// the first time stamp. Containers such as MPEG-TS rarely start at zero, so
// the start time is added; otherwise the target could lie before the start.
// Without a duration there is no middle, and nothing is sought.
bool MiddleTime(const AVFormatContext& formatContext, int64_t& target) {
    if (formatContext.duration == AV_NOPTS_VALUE)
        return false;
    target = formatContext.duration / 2;
    const int64_t start = formatContext.start_time;
    if (start != AV_NOPTS_VALUE && __builtin_add_overflow(target, start, &target)) {
        target = formatContext.duration / 2;
    }
    return true;
}

int64_t StartTime(const AVFormatContext& formatContext) {
    return formatContext.start_time != AV_NOPTS_VALUE ? formatContext.start_time : 0;
}

// The first look: to the first key frame at or after the middle. On failure
// reading simply goes on from where it is.
void SeekToMiddle(AVFormatContext* formatContext) {
    int64_t target = 0;
    if (MiddleTime(*formatContext, target))
        (void)av_seek_frame(formatContext, -1, target, 0);
}

// The second look: to the last key frame at or before the middle, or to the
// start when there is no middle.
bool SeekBackToMiddle(AVFormatContext* formatContext) {
    int64_t target = 0;
    if (!MiddleTime(*formatContext, target))
        target = StartTime(*formatContext);
    return av_seek_frame(formatContext, -1, target, AVSEEK_FLAG_BACKWARD) >= 0;
}

int64_t ReadPosition(AVFormatContext* formatContext) {
    return formatContext->pb != nullptr ? avio_tell(formatContext->pb) : 0;
}

// What one look may read of the file after its seek, counted over the
// packets of every stream and the bytes between them. Made right after the
// look's seek, which is where its bytes are counted from.
class ReadBudget {
public:
    ReadBudget(AVFormatContext* formatContext, const ThumbnailReadLimit& limit, int& packetsRead)
        : formatContext_(formatContext),
          limit_(limit),
          start_(ReadPosition(formatContext)),
          packetsRead_(packetsRead) {}

    // Counts the packet just read; false once the look has read its fill.
    bool Spend() {
        ++packets_;
        ++packetsRead_;
        return packets_ <= limit_.packets && ReadPosition(formatContext_) - start_ <= limit_.bytes;
    }

private:
    AVFormatContext* formatContext_;
    const ThumbnailReadLimit& limit_;
    int64_t start_;
    int packets_ = 0;
    int& packetsRead_;
};

// The next picture the decoder has ready, if any.
bool ReceivePicture(AVCodecContext* decoderContext, AVFrame* frame) {
    return avcodec_receive_frame(decoderContext, frame) >= 0;
}

// Feeds the chosen stream's packets to the decoder, starting with its first
// key packet, until a picture comes out, the file ends or the budget is
// spent. When the key packet makes a picture on its own, the decoder is
// drained right after it: the pictures after it (and leading pictures that
// refer to pictures before it) would only be decoded to push it out, each
// costing as much memory as the key picture itself, 96 MiB at 8K in 10 bits.
// A key packet that yields nothing then is passed over for the next one.
bool DecodeFirstPicture(AVFormatContext* formatContext, int streamIndex,
                        AVCodecContext* decoderContext, AVPacket* packet, AVFrame* frame,
                        ReadBudget budget) {
    bool keyPacketSent = false;
    const bool drainAfterKey = KeyPacketMakesAPicture(*decoderContext);
    while (av_read_frame(formatContext, packet) >= 0) {
        const PacketDataRelease release(packet);
        if (!budget.Spend())
            return false;
        if (packet->stream_index != streamIndex)
            continue;
        if (!keyPacketSent && (packet->flags & AV_PKT_FLAG_KEY) == 0)
            continue;
        keyPacketSent = true;
        // A packet that fails to decode is not fatal; the next one may work.
        // Decoding a key picture alone, only a key packet may start again.
        if (avcodec_send_packet(decoderContext, packet) < 0) {
            keyPacketSent = !drainAfterKey;
            continue;
        }
        if (ReceivePicture(decoderContext, frame))
            return true;
        if (drainAfterKey) {
            (void)avcodec_send_packet(decoderContext, nullptr);
            if (ReceivePicture(decoderContext, frame))
                return true;
            avcodec_flush_buffers(decoderContext);
            keyPacketSent = false;
        }
    }
    if (!keyPacketSent)
        return false;
    // The decoder may still hold back pictures (reordering, frame threads);
    // an empty packet makes it give them up.
    (void)avcodec_send_packet(decoderContext, nullptr);
    return ReceivePicture(decoderContext, frame);
}

// A packet's time in AV_TIME_BASE units, by its presentation time when it has
// one.
bool PacketTime(const AVPacket& packet, AVRational timeBase, int64_t& time) {
    const int64_t stamp = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    if (stamp == AV_NOPTS_VALUE)
        return false;
    time = av_rescale_q(stamp, timeBase, AV_TIME_BASE_Q);
    return true;
}

// Back to the first packet of the file. Containers without an index of key
// frames (MPEG-TS and the like) seek by the packets' decoding times, which run
// ahead of the start time (a presentation time) when pictures are reordered,
// so a seek to the start time lands after the first key frame. A time well
// before the start lands on the first packet; a container that refuses such a
// time is sought to the start time.
bool SeekToFirstPacket(AVFormatContext* formatContext) {
    const int64_t start = StartTime(*formatContext);
    int64_t wellBefore = 0;
    if (!__builtin_sub_overflow(start, kWellBeforeTheStart, &wellBefore) &&
        av_seek_frame(formatContext, -1, wellBefore, AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    return av_seek_frame(formatContext, -1, start, AVSEEK_FLAG_BACKWARD) >= 0;
}

// The third look, for containers without an index of key frames, where a
// backward seek lands after the key frame before the middle: reads from the
// start, keeps the last key packet of the stream that is not later than the
// middle, and decodes that one picture.
bool DecodeLastKeyPacketBeforeMiddle(AVFormatContext* formatContext, int streamIndex,
                                     AVCodecContext* decoderContext, AVPacket* packet,
                                     AVFrame* frame, const ThumbnailReadLimit& limit,
                                     int& packetsRead) {
    int64_t middle = 0;
    if (!MiddleTime(*formatContext, middle))
        return false;
    if (!SeekToFirstPacket(formatContext))
        return false;
    ReadBudget budget(formatContext, limit, packetsRead);
    const AVRational timeBase = formatContext->streams[streamIndex]->time_base;
    const PacketPtr keyPacket(av_packet_alloc());
    if (!keyPacket)
        return false;
    while (av_read_frame(formatContext, packet) >= 0) {
        const PacketDataRelease release(packet);
        if (!budget.Spend())
            break;
        int64_t time = 0;
        if (packet->stream_index != streamIndex || !PacketTime(*packet, timeBase, time))
            continue;
        if (time > middle)
            break;
        if ((packet->flags & AV_PKT_FLAG_KEY) != 0) {
            av_packet_unref(keyPacket.get());
            if (av_packet_ref(keyPacket.get(), packet) < 0)
                return false;
        }
    }
    if (keyPacket->size == 0)
        return false;
    avcodec_flush_buffers(decoderContext);
    if (avcodec_send_packet(decoderContext, keyPacket.get()) < 0)
        return false;
    (void)avcodec_send_packet(decoderContext, nullptr);
    return ReceivePicture(decoderContext, frame);
}

}  // namespace

// Codecs that code a frame's fields as pictures of their own (HEVC) or have
// no fields at all make one picture of every packet; others only when the
// stream is known to be progressive, since the key picture's second field may
// follow in a packet of its own.
bool KeyPacketMakesAPicture(const AVCodecContext& decoder) {
    switch (decoder.codec_id) {
        case AV_CODEC_ID_HEVC:
        case AV_CODEC_ID_VP8:
        case AV_CODEC_ID_VP9:
        case AV_CODEC_ID_AV1:
            return true;
        default:
            return decoder.field_order == AV_FIELD_PROGRESSIVE;
    }
}

int MakeThumbnail(AVFormatContext* formatContext, int streamIndex, AVCodecContext* decoderContext,
                  CatalogueEntry& entry, const ThumbnailReadLimit& limit) {
    int packetsRead = 0;
    SeekToMiddle(formatContext);
    const PacketPtr packet(av_packet_alloc());
    const FramePtr frame(av_frame_alloc());
    if (!packet || !frame)
        return packetsRead;
    bool decoded = DecodeFirstPicture(formatContext, streamIndex, decoderContext, packet.get(),
                                      frame.get(), ReadBudget(formatContext, limit, packetsRead));
    // The first look lands past the last key frame when none follows the
    // middle; then the key frame before the middle gives the picture. The
    // decoder may have been drained, so it starts afresh.
    if (!decoded && SeekBackToMiddle(formatContext)) {
        avcodec_flush_buffers(decoderContext);
        decoded = DecodeFirstPicture(formatContext, streamIndex, decoderContext, packet.get(),
                                     frame.get(), ReadBudget(formatContext, limit, packetsRead));
    }
    if (!decoded) {
        decoded = DecodeLastKeyPacketBeforeMiddle(formatContext, streamIndex, decoderContext,
                                                  packet.get(), frame.get(), limit, packetsRead);
    }
    // The picture actually decoded counts rather than the size the probe
    // reported: a stream may change resolution.
    if (decoded && entry.thumbnail.size() == static_cast<size_t>(THUMBNAIL_BYTES)) {
        entry.thumbnailTone = ConvertIntoThumbnail(
            *frame, *formatContext->streams[streamIndex]->codecpar, entry.thumbnail.data());
    }
    return packetsRead;
}
