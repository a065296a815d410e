#include "streaming/PacketBatch.h"

extern "C" {
#include <libavcodec/bsf.h>
#include <libavutil/mathematics.h>
}

#include "catalogue/FfmpegHandles.h"
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

// Packet records collected for one reply.
class BatchRecords {
public:
    void Append(int32_t streamIndex, const AVPacket& timing, const uint8_t* data, int32_t size) {
        int32_t flags = timing.flags;
        int64_t pts = timing.pts;
        int64_t dts = timing.dts;
        int64_t duration = timing.duration;
        records_.Serialize(streamIndex).Serialize(size).Serialize(flags);
        records_.Serialize(pts).Serialize(dts).Serialize(duration);
        if (size > 0)
            records_.SerializeBytes(const_cast<uint8_t*>(data), static_cast<uint64_t>(size));
        bytes_ += size;
        ++count_;
    }
    int64_t Bytes() const { return bytes_; }
    int32_t Count() const { return count_; }
    std::vector<uint8_t>& Buffer() { return records_.Buffer(); }

private:
    bsMemWrite records_;
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

}  // namespace

void FetchPacketBatch(bsMemRead& request, ClientSession& session) {
    const BatchRequest wanted = ReadBatchRequest(request);
    AVFormatContext* format = session.formatContext.get();
    if (wanted.seekWanted > 0 && format != nullptr) {
        (void)av_seek_frame(format, -1, static_cast<int64_t>(wanted.seekPosition), 0);
    }

    int32_t code = kReplyCode;
    int32_t status = kStatusSuccess;
    bsMemWrite reply;
    if (format == nullptr) {
        int32_t count = 0;
        status = kStatusNoMediaOpen;
        reply.Serialize(code).Serialize(status).Serialize(count);
        SendReplyTo(session, reply);
        return;
    }

    BatchRecords records;
    PacketPtr packet(av_packet_alloc());
    bool videoSeen = false;
    while (packet) {
        const int64_t budget = videoSeen ? kBudgetAfterVideo : kBudgetBeforeVideo;
        if (records.Bytes() >= budget)
            break;
        if (av_read_frame(format, packet.get()) < 0) {
            status = kStatusEndOfMedia;
            break;
        }
        PacketDataRelease release(packet.get());
        if (packet->stream_index < 0 ||
            static_cast<unsigned>(packet->stream_index) >= format->nb_streams) {
            continue;
        }
        RescaleToMicroseconds(*packet, format->streams[packet->stream_index]->time_base);
        if (IsVideo(wanted, *packet))
            videoSeen = true;
        AppendPacket(records, wanted, session.streamPrep.get(), *packet);
    }

    int32_t count = records.Count();
    reply.Serialize(code).Serialize(status).Serialize(count);
    SerializeRun(reply, records.Buffer());
    SendReplyTo(session, reply);
}
