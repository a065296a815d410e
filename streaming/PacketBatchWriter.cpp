#include "streaming/PacketBatchWriter.h"

extern "C" {
#include <libavutil/mathematics.h>
}

#include "protocol/Replies.h"

namespace streaming {
namespace {

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

// Packet records written straight into the reply, counted for its head.
class BatchRecords {
public:
    explicit BatchRecords(bsMemWrite& reply) : reply_(reply) {}
    void Append(int32_t streamIndex, const AVPacket& timing, const uint8_t* data, int32_t size) {
        protocol::PacketRecord record{streamIndex, size,       timing.flags,
                                      timing.pts,  timing.dts, timing.duration};
        record.Serialize(reply_);
        if (size > 0)
            reply_.SerializeBytes(const_cast<uint8_t*>(data), static_cast<uint64_t>(size));
        bytes_ += size;
        ++count_;
    }
    int64_t Bytes() const { return bytes_; }
    int32_t Count() const { return count_; }

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

// One packet through the Annex-B filter: each output it gives back becomes a
// record with the input packet's flags and times. Taking them all leaves the
// filter empty, ready for the next packet.
void AppendFiltered(BatchRecords& records, AVBSFContext* filter, AVPacket& packet,
                    int32_t videoIndex) {
    PacketPtr input(av_packet_clone(&packet));
    PacketPtr output(av_packet_alloc());
    if (!input || !output || av_bsf_send_packet(filter, input.get()) < 0)
        return;
    while (av_bsf_receive_packet(filter, output.get()) >= 0) {
        const PacketDataRelease release(output.get());
        if (output->size > 0 && output->data != nullptr)
            records.Append(videoIndex, packet, output->data, output->size);
    }
}

bool IsVideo(const BatchStreams& wanted, const AVPacket& packet) {
    return wanted.video >= 0 && packet.stream_index == wanted.video;
}

void AppendPacket(BatchRecords& records, const BatchStreams& wanted, AVBSFContext* filter,
                  AVPacket& packet) {
    const int32_t index = packet.stream_index;
    if (IsVideo(wanted, packet)) {
        if (filter != nullptr) {
            AppendFiltered(records, filter, packet, index);
        } else {
            records.Append(index, packet, packet.data, packet.size);
        }
    } else if ((wanted.audio >= 0 && index == wanted.audio) ||
               (wanted.subtitle >= 0 && index == wanted.subtitle)) {
        records.Append(index, packet, packet.data, packet.size);
    }
}

}  // namespace

void SeekMedia(AVFormatContext& format, AVBSFContext* filter, uint64_t microseconds) {
    if (av_seek_frame(&format, -1, static_cast<int64_t>(microseconds), 0) < 0)
        return;
    if (filter != nullptr)
        av_bsf_flush(filter);
}

BatchEnd WritePacketBatch(bsMemWrite& reply, AVFormatContext& format, AVBSFContext* filter,
                          const BatchStreams& wanted) {
    BatchRecords records(reply);
    BatchEnd end;
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
        if (const int error = av_read_frame(&format, packet.get()); error < 0) {
            end.endOfMedia = true;
            end.readError = error;
            break;
        }
        PacketDataRelease release(packet.get());
        bytesRead += packet->size;
        ++packetsRead;
        if (packet->stream_index < 0 ||
            static_cast<unsigned>(packet->stream_index) >= format.nb_streams) {
            continue;
        }
        RescaleToMicroseconds(*packet, format.streams[packet->stream_index]->time_base);
        if (IsVideo(wanted, *packet))
            videoSeen = true;
        AppendPacket(records, wanted, filter, *packet);
    }
    end.records = records.Count();
    return end;
}

}  // namespace streaming
