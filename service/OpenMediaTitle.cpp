#include "service/OpenMediaTitle.h"

#include "catalogue/VideoStreamChoice.h"
#include "platform/Clock.h"
#include "platform/MediaInput.h"
#include "protocol/Replies.h"
#include "protocol/Requests.h"
#include "service/OperatorEvents.h"
#include "service/SessionReply.h"

namespace {

// An audio codec the headset cannot play; such streams are never chosen and
// are described as kind 0.
constexpr AVCodecID kUnplayableAudioCodec = AV_CODEC_ID_TRUEHD;
// Audio codec ids above this one are one lower here than in the headset's
// numbering, which has one more entry below them. The headset knows the
// codecs by these numbers.
constexpr AVCodecID kLastUnshiftedAudioCodec = AV_CODEC_ID_ATRAC3;
static_assert(AV_CODEC_ID_ATRAC3 == 86047 && AV_CODEC_ID_TRUEHD == 86060,
              "the headset's codec numbering is reckoned from these two ids");

constexpr int32_t kWidthWithoutVideo = 1920;
constexpr int32_t kHeightWithoutVideo = 1080;

uint64_t ChannelLayoutMask(const AVCodecParameters& parameters) {
    return parameters.ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? parameters.ch_layout.u.mask : 0;
}

bool IsPlayableAudio(const AVCodecParameters& parameters) {
    return parameters.codec_type == AVMEDIA_TYPE_AUDIO &&
           parameters.codec_id != kUnplayableAudioCodec;
}

struct StreamChoice {
    int32_t video = -1;
    int32_t audio = -1;
    int32_t subtitle = -1;
};

// The video stream the catalogue chose its picture from, the first playable
// audio and the first subtitle stream.
StreamChoice ChooseStreams(const AVFormatContext& format) {
    StreamChoice choice;
    choice.video = ChooseVideoStream(format);
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVCodecParameters* parameters = format.streams[i]->codecpar;
        if (parameters == nullptr)
            continue;
        const auto index = static_cast<int32_t>(i);
        if (choice.audio < 0 && IsPlayableAudio(*parameters)) {
            choice.audio = index;
        } else if (choice.subtitle < 0 && parameters->codec_type == AVMEDIA_TYPE_SUBTITLE) {
            choice.subtitle = index;
        }
    }
    return choice;
}

const AVCodecParameters* StreamParameters(const AVFormatContext& format, int32_t index) {
    if (index < 0 || static_cast<unsigned>(index) >= format.nb_streams)
        return nullptr;
    return format.streams[index]->codecpar;
}

protocol::StreamRecord DescribeStream(const AVCodecParameters* parameters) {
    protocol::StreamRecord record;
    if (parameters != nullptr && IsPlayableAudio(*parameters)) {
        record.kind = protocol::kStreamKindAudio;
        record.codecId = static_cast<int32_t>(parameters->codec_id);
        if (record.codecId > static_cast<int32_t>(kLastUnshiftedAudioCodec))
            ++record.codecId;
        record.sampleRate = parameters->sample_rate;
        record.channels = parameters->ch_layout.nb_channels;
        record.sampleFormat = parameters->format;
        record.channelLayout = ChannelLayoutMask(*parameters);
    } else if (parameters != nullptr && parameters->codec_type == AVMEDIA_TYPE_SUBTITLE) {
        record.kind = protocol::kStreamKindSubtitle;
        record.codecId = static_cast<int32_t>(parameters->codec_id);
    }
    return record;
}

protocol::OpenedMedia DescribeOpened(const AVFormatContext& format, const StreamPreparation& prep) {
    protocol::OpenedMedia reply;
    const AVCodecParameters* video = StreamParameters(format, prep.videoStreamIndex);
    reply.width = video != nullptr ? video->width : kWidthWithoutVideo;
    reply.height = video != nullptr ? video->height : kHeightWithoutVideo;
    reply.streamCount = static_cast<int32_t>(format.nb_streams);
    reply.videoIndex = prep.videoStreamIndex;
    reply.audioIndex = prep.audioStreamIndex;
    reply.subtitleIndex = prep.subtitleStreamIndex;
    if (const AVCodecParameters* audio = StreamParameters(format, prep.audioStreamIndex)) {
        reply.audioCodec = static_cast<int32_t>(audio->codec_id);
        reply.sampleRate = audio->sample_rate;
        reply.channels = audio->ch_layout.nb_channels;
        reply.sampleFormat = audio->format;
        reply.channelLayout = ChannelLayoutMask(*audio);
    }
    if (const AVCodecParameters* subtitle = StreamParameters(format, prep.subtitleStreamIndex))
        reply.subtitleCodec = static_cast<int32_t>(subtitle->codec_id);
    reply.flags = prep.FlagBits();
    reply.profile = prep.profile;
    reply.level = prep.level;
    reply.frameRate = prep.frameRate;
    reply.duration = prep.duration;
    reply.spareA = prep.spareValueA;
    reply.spareB = prep.spareValueB;
    reply.mimeType = prep.mimeType;
    reply.csd0 = prep.csd0;
    reply.csd1 = prep.csd1;
    for (unsigned i = 0; i < format.nb_streams; ++i)
        reply.streams.push_back(DescribeStream(format.streams[i]->codecpar));
    return reply;
}

}  // namespace

void OpenMediaTitle(bsMemRead& request, ClientSession& session, const Catalogue& catalogue) {
    protocol::OpenMediaTitleRequest wanted;
    wanted.Serialize(request);
    const int32_t titleIndex = wanted.titleIndex;
    if (!protocol::IsValidTitleIndex(titleIndex, catalogue.size())) {
        QueueStatusReply<protocol::OpenedMedia>(session, kOpenMediaStatusInvalidTitle);
        return;
    }
    const CatalogueEntry& entry = catalogue[static_cast<size_t>(titleIndex)];
    MarkUsed(entry, platform::TimeGetTime());
    CloseMedia(session);

    MediaInput input = OpenMediaInput(entry.mediaPath, session.stopFlag);
    if (!input.context) {
        QueueStatusReply<protocol::OpenedMedia>(
            session, input.opened ? kOpenMediaStatusStreamInfoFailed : kOpenMediaStatusOpenFailed);
        return;
    }

    OpenMediaFile& media = session.media.emplace();
    media.formatContext = std::move(input.context);
    AVFormatContext* opened = media.formatContext.get();
    StreamPreparation& prep = media.streamPrep;
    const StreamChoice choice = ChooseStreams(*opened);
    session.titleIndex = titleIndex;
    prep.PrepareStreams(opened, choice.video, choice.audio, choice.subtitle);

    QueueReply(session, DescribeOpened(*opened, prep));
    LogOpenedMedia(session, titleIndex, entry, *opened, choice.video, choice.audio,
                   choice.subtitle);
}
