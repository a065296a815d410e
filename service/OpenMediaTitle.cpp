#include "service/OpenMediaTitle.h"

#include "catalogue/VideoStreamChoice.h"
#include "platform/Clock.h"
#include "platform/MediaInput.h"
#include "protocol/ReplyWriter.h"
#include "protocol/RequestCodes.h"
#include "protocol/TitleIndex.h"
#include "service/OperatorEvents.h"
#include "service/SessionReply.h"

namespace {

constexpr int32_t kReplyCode = ReplyCodeFor(kOpenMediaTitleRequest);

// An audio codec the headset cannot play; such streams are never chosen and
// are described as kind 0.
constexpr AVCodecID kUnplayableAudioCodec = AV_CODEC_ID_TRUEHD;
// Audio codec ids above this one are one lower here than in the headset's
// numbering, which has one more entry below them. The headset knows the
// codecs by these numbers.
constexpr AVCodecID kLastUnshiftedAudioCodec = AV_CODEC_ID_ATRAC3;
static_assert(AV_CODEC_ID_ATRAC3 == 86047 && AV_CODEC_ID_TRUEHD == 86060,
              "the headset's codec numbering is reckoned from these two ids");

constexpr int32_t kStreamKindOther = 0;
constexpr int32_t kStreamKindAudio = 1;
constexpr int32_t kStreamKindSubtitle = 2;

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

void WriteStreamRecord(bsMemWrite& reply, const AVCodecParameters* parameters) {
    int32_t kind = kStreamKindOther;
    if (parameters != nullptr && IsPlayableAudio(*parameters)) {
        kind = kStreamKindAudio;
        int32_t codecId = static_cast<int32_t>(parameters->codec_id);
        if (codecId > static_cast<int32_t>(kLastUnshiftedAudioCodec))
            ++codecId;
        int32_t sampleRate = parameters->sample_rate;
        int32_t channels = parameters->ch_layout.nb_channels;
        int32_t sampleFormat = parameters->format;
        uint64_t layout = ChannelLayoutMask(*parameters);
        reply.Serialize(kind).Serialize(codecId).Serialize(sampleRate).Serialize(channels);
        reply.Serialize(sampleFormat).Serialize(layout);
    } else if (parameters != nullptr && parameters->codec_type == AVMEDIA_TYPE_SUBTITLE) {
        kind = kStreamKindSubtitle;
        int32_t codecId = static_cast<int32_t>(parameters->codec_id);
        reply.Serialize(kind).Serialize(codecId);
    } else {
        reply.Serialize(kind);
    }
}

void WriteOpenedReply(bsMemWrite& reply, const AVFormatContext& format, StreamPreparation& prep) {
    WriteReplyHead(reply, kReplyCode, kStatusSuccess);

    const AVCodecParameters* video = StreamParameters(format, prep.videoStreamIndex);
    int32_t width = video != nullptr ? video->width : kWidthWithoutVideo;
    int32_t height = video != nullptr ? video->height : kHeightWithoutVideo;
    int32_t streamCount = static_cast<int32_t>(format.nb_streams);
    reply.Serialize(width).Serialize(height).Serialize(streamCount);
    reply.Serialize(prep.videoStreamIndex)
        .Serialize(prep.audioStreamIndex)
        .Serialize(prep.subtitleStreamIndex);

    const AVCodecParameters* audio = StreamParameters(format, prep.audioStreamIndex);
    int32_t audioCodec = audio != nullptr ? static_cast<int32_t>(audio->codec_id) : 0;
    int32_t sampleRate = audio != nullptr ? audio->sample_rate : 0;
    int32_t channels = audio != nullptr ? audio->ch_layout.nb_channels : 0;
    int32_t sampleFormat = audio != nullptr ? audio->format : 0;
    uint64_t layout = audio != nullptr ? ChannelLayoutMask(*audio) : 0;
    reply.Serialize(audioCodec).Serialize(sampleRate).Serialize(channels);
    reply.Serialize(sampleFormat).Serialize(layout);

    const AVCodecParameters* subtitle = StreamParameters(format, prep.subtitleStreamIndex);
    int32_t subtitleCodec = subtitle != nullptr ? static_cast<int32_t>(subtitle->codec_id) : 0;
    reply.Serialize(subtitleCodec);

    int32_t mimeLength = static_cast<int32_t>(prep.mimeType.size());
    int32_t csd0Length = static_cast<int32_t>(prep.csd0.size());
    int32_t csd1Length = static_cast<int32_t>(prep.csd1.size());
    uint32_t flags = prep.FlagBits();
    reply.Serialize(mimeLength).Serialize(csd0Length).Serialize(csd1Length).Serialize(flags);
    reply.Serialize(prep.profile).Serialize(prep.level).Serialize(prep.frameRate);
    reply.Serialize(prep.duration).Serialize(prep.spareValueA).Serialize(prep.spareValueB);
    SerializeRun(reply, prep.mimeType);
    SerializeRun(reply, prep.csd0);
    SerializeRun(reply, prep.csd1);

    for (unsigned i = 0; i < format.nb_streams; ++i) {
        WriteStreamRecord(reply, format.streams[i]->codecpar);
    }
}

}  // namespace

void OpenMediaTitle(bsMemRead& request, ClientSession& session, const Catalogue& catalogue) {
    int32_t titleIndex = 0;
    request.Serialize(titleIndex);
    if (!IsValidTitleIndex(titleIndex, catalogue.size())) {
        QueueStatusReply(session, kReplyCode, kOpenMediaStatusInvalidTitle);
        return;
    }
    const CatalogueEntry& entry = catalogue[static_cast<size_t>(titleIndex)];
    MarkUsed(entry, platform::TimeGetTime());
    CloseMedia(session);

    MediaInput input = OpenMediaInput(entry.mediaPath, session.stopFlag);
    if (!input.context) {
        QueueStatusReply(
            session, kReplyCode,
            input.opened ? kOpenMediaStatusStreamInfoFailed : kOpenMediaStatusOpenFailed);
        return;
    }

    OpenMediaFile& media = session.media.emplace();
    media.formatContext = std::move(input.context);
    AVFormatContext* opened = media.formatContext.get();
    StreamPreparation& prep = media.streamPrep;
    const StreamChoice choice = ChooseStreams(*opened);
    session.titleIndex = titleIndex;
    prep.PrepareStreams(opened, choice.video, choice.audio, choice.subtitle);

    bsMemWrite reply;
    WriteOpenedReply(reply, *opened, prep);
    QueueReply(session, reply);
    LogOpenedMedia(session, titleIndex, entry, *opened, choice.video, choice.audio,
                   choice.subtitle);
}
