#include "tools/headset/MatroskaRemuxer.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include "platform/FfmpegHandles.h"
#include "platform/MediaInput.h"
#include "tools/headset/CodecSetup.h"

namespace headset {
namespace {

constexpr AVRational kMicroseconds = {1, 1000000};

bool SetExtradata(AVCodecParameters& parameters, const std::vector<uint8_t>& bytes) {
    if (bytes.empty())
        return true;
    parameters.extradata =
        static_cast<uint8_t*>(av_mallocz(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!parameters.extradata)
        return false;
    std::memcpy(parameters.extradata, bytes.data(), bytes.size());
    parameters.extradata_size = static_cast<int>(bytes.size());
    return true;
}

int64_t TimeStampOrNone(int64_t microseconds) {
    return IsRealTimeStamp(microseconds) ? microseconds : AV_NOPTS_VALUE;
}

}  // namespace

void MatroskaRemuxer::OutputCloser::operator()(AVFormatContext* context) const {
    if (context->pb)
        avio_closep(&context->pb);
    avformat_free_context(context);
}

MatroskaRemuxer::MatroskaRemuxer() = default;
MatroskaRemuxer::~MatroskaRemuxer() = default;

std::string MatroskaRemuxer::Open(const std::string& path, const OpenedMedia& media) {
    AVFormatContext* created = nullptr;
    const int failure = avformat_alloc_output_context2(&created, nullptr, "matroska", path.c_str());
    if (failure < 0 || !created)
        return "cannot set up a Matroska file: " + FfmpegErrorText(failure);
    output_.reset(created);
    if (!AddVideo(media) || !AddAudio(media) || !AddSubtitle(media))
        return "cannot set up the file's streams";
    if (outputStreamFor_.empty())
        return "the title has no stream that can be written";
    const int opened = avio_open(&output_->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0)
        return "cannot create " + path + ": " + FfmpegErrorText(opened);
    const int written = avformat_write_header(output_.get(), nullptr);
    if (written < 0)
        return "cannot write the file's header: " + FfmpegErrorText(written);
    headerWritten_ = true;
    return {};
}

bool MatroskaRemuxer::AddVideo(const OpenedMedia& media) {
    if (media.videoIndex < 0)
        return true;
    const AVCodecID codec = VideoCodecForMimeType(media.mimeType);
    if (codec == AV_CODEC_ID_NONE) {
        warnings_.push_back("video stream " + std::to_string(media.videoIndex) +
                            " left out: the server offers no decoder set-up for it");
        return true;
    }
    AVStream* stream = avformat_new_stream(output_.get(), nullptr);
    if (!stream)
        return false;
    AVCodecParameters& parameters = *stream->codecpar;
    parameters.codec_type = AVMEDIA_TYPE_VIDEO;
    parameters.codec_id = codec;
    parameters.width = media.width;
    parameters.height = media.height;
    if (media.frameRate > 0)
        stream->avg_frame_rate = {media.frameRate, 1};
    stream->time_base = kMicroseconds;
    std::vector<uint8_t> extradata = media.csd0;
    extradata.insert(extradata.end(), media.csd1.begin(), media.csd1.end());
    outputStreamFor_[media.videoIndex] = stream->index;
    videoStream_ = media.videoIndex;
    return SetExtradata(parameters, extradata);
}

bool MatroskaRemuxer::AddAudio(const OpenedMedia& media) {
    if (media.audioIndex < 0)
        return true;
    const AVCodecID codec = static_cast<AVCodecID>(media.audioCodec);
    const std::string unusable = WhyCodecCannotBeWritten(codec, output_->oformat);
    if (!unusable.empty()) {
        warnings_.push_back("audio stream " + std::to_string(media.audioIndex) +
                            " left out: " + unusable);
        return true;
    }
    AVStream* stream = avformat_new_stream(output_.get(), nullptr);
    if (!stream)
        return false;
    AVCodecParameters& parameters = *stream->codecpar;
    parameters.codec_type = AVMEDIA_TYPE_AUDIO;
    parameters.codec_id = codec;
    parameters.sample_rate = media.sampleRate;
    parameters.format = media.sampleFormat;
    SetChannelLayout(parameters.ch_layout, media.channels, media.channelLayout);
    stream->time_base = kMicroseconds;
    audioStream_ = media.audioIndex;
    audioIsAac_ = codec == AV_CODEC_ID_AAC;
    outputStreamFor_[media.audioIndex] = stream->index;
    return SetExtradata(parameters, AudioExtradata(codec, media.sampleRate, media.channels));
}

bool MatroskaRemuxer::AddSubtitle(const OpenedMedia& media) {
    if (media.subtitleIndex < 0)
        return true;
    const AVCodecID codec = static_cast<AVCodecID>(media.subtitleCodec);
    const std::string unusable = WhyCodecCannotBeWritten(codec, output_->oformat);
    if (!unusable.empty()) {
        warnings_.push_back("subtitle stream " + std::to_string(media.subtitleIndex) +
                            " left out: " + unusable);
        return true;
    }
    AVStream* stream = avformat_new_stream(output_.get(), nullptr);
    if (!stream)
        return false;
    stream->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    stream->codecpar->codec_id = codec;
    stream->time_base = kMicroseconds;
    outputStreamFor_[media.subtitleIndex] = stream->index;
    return true;
}

std::string MatroskaRemuxer::Write(const PacketBatch& batch, const PacketRecord& record) {
    const auto target = outputStreamFor_.find(record.streamIndex);
    if (!headerWritten_ || target == outputStreamFor_.end())
        return {};
    const uint8_t* data = batch.Data(record);
    size_t size = static_cast<size_t>(record.size);
    if (record.streamIndex == audioStream_ && audioIsAac_)
        StripAdtsHeader(data, size);
    PacketPtr packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), static_cast<int>(size)) < 0)
        return "out of memory";
    if (size > 0)
        std::memcpy(packet->data, data, size);
    packet->stream_index = target->second;
    packet->flags = record.flags & AV_PKT_FLAG_KEY;
    packet->pts = TimeStampOrNone(record.pts);
    packet->dts = TimeStampOrNone(record.dts);
    // Some sources leave the decoding time of some pictures unset and give
    // it for others; the file needs it rising throughout, so it is worked
    // out from the presentation times for every picture.
    if (record.streamIndex == videoStream_ && packet->pts != AV_NOPTS_VALUE)
        packet->dts = videoDecodeTimes_.Next(packet->pts, record.duration);
    packet->duration = TimeStampOrNone(record.duration) == AV_NOPTS_VALUE ? 0 : record.duration;
    av_packet_rescale_ts(packet.get(), kMicroseconds, output_->streams[target->second]->time_base);
    const int written = av_interleaved_write_frame(output_.get(), packet.get());
    if (written < 0)
        return "cannot write a packet of stream " + std::to_string(record.streamIndex) + ": " +
               FfmpegErrorText(written);
    ++packetsWritten_;
    return {};
}

std::string MatroskaRemuxer::Close() {
    if (!headerWritten_)
        return {};
    headerWritten_ = false;
    const int finished = av_write_trailer(output_.get());
    const int closed = avio_closep(&output_->pb);
    if (finished < 0 || closed < 0)
        return "cannot finish the file: " + FfmpegErrorText(finished < 0 ? finished : closed);
    return {};
}

}  // namespace headset
