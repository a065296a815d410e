#include "streaming/PacketBatch.h"

extern "C" {
#include <libavcodec/bsf.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
}

#include <cstring>
#include <string>

#include "catalogue/FfmpegHandles.h"
#include "platform/OperatorLog.h"
#include "service/ReplyWriter.h"
#include "service/RequestCodes.h"

namespace {

constexpr int32_t kReplyCode = ReplyCodeFor(kFetchPacketBatchRequest);
constexpr int32_t kStatusEndOfMedia = 1;
constexpr int32_t kStatusNoMediaOpen = 2;

// Before the first video packet a batch may gather up to 2 MiB (audio ahead of
// a key frame); after it, about one video packet with its neighbours.
constexpr int64_t kBudgetBeforeVideo = 2097152;
constexpr int64_t kBudgetAfterVideo = 16384;
// However few of its packets a request keeps, one batch reads no more than
// this much of the file: a request naming no stream of the file would
// otherwise make the one worker read the whole title while every other
// headset waits. A batch that keeps what it reads never comes near it.
constexpr int64_t kReadBoundBytes = 16 * kBudgetBeforeVideo;
constexpr int64_t kReadBoundPackets = 32768;

constexpr AVRational kMicroseconds{1, 1000000};

struct BatchRequest {
    int32_t seekWanted = 0;
    uint64_t seekPosition = 0;
    int32_t videoIndex = -1;
    int32_t audioIndex = -1;
    int32_t subtitleIndex = -1;
};

BatchRequest ReadBatchRequest(bsMemRead& request) {
    BatchRequest fields;
    request.Serialize(fields.seekWanted).Serialize(fields.seekPosition);
    request.Serialize(fields.videoIndex)
        .Serialize(fields.audioIndex)
        .Serialize(fields.subtitleIndex);
    return fields;
}

// Packet records written straight into the reply, behind its code, status
// and count, which are filled in once the batch is complete.
class BatchRecords {
public:
    explicit BatchRecords(bsMemWrite& reply) : reply_(reply) {
        int32_t code = kReplyCode;
        int32_t placeholder = 0;
        reply_.Serialize(code).Serialize(placeholder).Serialize(placeholder);
    }
    void Append(int32_t streamIndex, const AVPacket& timing, const uint8_t* data, int32_t size) {
        int32_t flags = timing.flags;
        int64_t pts = timing.pts;
        int64_t dts = timing.dts;
        int64_t duration = timing.duration;
        reply_.Serialize(streamIndex).Serialize(size).Serialize(flags);
        reply_.Serialize(pts).Serialize(dts).Serialize(duration);
        if (size > 0)
            reply_.SerializeBytes(const_cast<uint8_t*>(data), static_cast<uint64_t>(size));
        bytes_ += size;
        ++count_;
    }
    int64_t Bytes() const { return bytes_; }
    void Finish(int32_t status) {
        std::memcpy(reply_.Buffer().data() + 4, &status, sizeof status);
        std::memcpy(reply_.Buffer().data() + 8, &count_, sizeof count_);
    }

private:
    bsMemWrite& reply_;
    int64_t bytes_ = 0;
    int32_t count_ = 0;
};

void RescaleToMicroseconds(AVPacket& packet, AVRational timeBase) {
    // The missing-value marker is rescaled like any other value: headsets
    // know the result as "no time stamp".
    packet.pts = av_rescale_q(packet.pts, timeBase, kMicroseconds);
    packet.dts = av_rescale_q(packet.dts, timeBase, kMicroseconds);
    packet.duration = av_rescale_q(packet.duration, timeBase, kMicroseconds);
}

// One packet through the Annex-B filter: its one output, if any, becomes a
// record with the input packet's flags and times.
void AppendFiltered(BatchRecords& records, AVBSFContext* filter, AVPacket& packet,
                    int32_t videoIndex) {
    PacketPtr input(av_packet_clone(&packet));
    PacketPtr output(av_packet_alloc());
    if (!input || !output)
        return;
    if (av_bsf_send_packet(filter, input.get()) < 0)
        return;
    if (av_bsf_receive_packet(filter, output.get()) < 0)
        return;
    if (output->size > 0 && output->data != nullptr) {
        records.Append(videoIndex, packet, output->data, output->size);
    }
}

void AppendPacket(BatchRecords& records, const BatchRequest& wanted, StreamPreparation* prep,
                  AVPacket& packet) {
    const int32_t index = packet.stream_index;
    if (wanted.videoIndex >= 0 && index == wanted.videoIndex) {
        AVBSFContext* filter = prep != nullptr ? prep->AnnexBFilter() : nullptr;
        if (filter != nullptr) {
            AppendFiltered(records, filter, packet, index);
        } else {
            records.Append(index, packet, packet.data, packet.size);
        }
    } else if ((wanted.audioIndex >= 0 && index == wanted.audioIndex) ||
               (wanted.subtitleIndex >= 0 && index == wanted.subtitleIndex)) {
        records.Append(index, packet, packet.data, packet.size);
    }
}

bool IsVideo(const BatchRequest& wanted, const AVPacket& packet) {
    return wanted.videoIndex >= 0 && packet.stream_index == wanted.videoIndex;
}

// The Annex-B filter's state belongs to the packets before the seek.
void SeekTo(ClientSession& session, AVFormatContext& format, uint64_t position) {
    if (av_seek_frame(&format, -1, static_cast<int64_t>(position), 0) < 0)
        return;
    if (session.streamPrep && session.streamPrep->AnnexBFilter() != nullptr)
        av_bsf_flush(session.streamPrep->AnnexBFilter());
}

// The end of the media and a stop are no news; anything else is, once per
// opened title.
void ReportReadError(ClientSession& session, const AVFormatContext& format, int error) {
    if (error == AVERROR_EOF || error == AVERROR_EXIT || session.readErrorReported)
        return;
    session.readErrorReported = true;
    char reason[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, reason, sizeof reason);
    platform::LogForOperator(std::string("reading ") + format.url + " failed: " + reason +
                             "; the headset is told the media has ended");
}

}  // namespace

void FetchPacketBatch(bsMemRead& request, ClientSession& session) {
    const BatchRequest wanted = ReadBatchRequest(request);
    AVFormatContext* format = session.formatContext.get();
    if (wanted.seekWanted > 0 && format != nullptr)
        SeekTo(session, *format, wanted.seekPosition);

    bsMemWrite reply;
    BatchRecords records(reply);
    if (format == nullptr) {
        records.Finish(kStatusNoMediaOpen);
        SendReplyTo(session, reply);
        return;
    }

    int32_t status = kStatusSuccess;
    PacketPtr packet(av_packet_alloc());
    bool videoSeen = false;
    int64_t bytesRead = 0;
    int64_t packetsRead = 0;
    while (packet) {
        const int64_t budget = videoSeen ? kBudgetAfterVideo : kBudgetBeforeVideo;
        if (records.Bytes() >= budget)
            break;
        if (bytesRead >= kReadBoundBytes || packetsRead >= kReadBoundPackets)
            break;
        if (const int error = av_read_frame(format, packet.get()); error < 0) {
            ReportReadError(session, *format, error);
            status = kStatusEndOfMedia;
            break;
        }
        PacketDataRelease release(packet.get());
        bytesRead += packet->size;
        ++packetsRead;
        if (packet->stream_index < 0 ||
            static_cast<unsigned>(packet->stream_index) >= format->nb_streams) {
            continue;
        }
        RescaleToMicroseconds(*packet, format->streams[packet->stream_index]->time_base);
        if (IsVideo(wanted, *packet))
            videoSeen = true;
        AppendPacket(records, wanted, session.streamPrep.get(), *packet);
    }

    records.Finish(status);
    SendReplyTo(session, reply);
}
