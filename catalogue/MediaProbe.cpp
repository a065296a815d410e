#include "catalogue/MediaProbe.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>
#include <cstdint>
#include <optional>
#include <utility>

#include "catalogue/FramePool.h"
#include "catalogue/Thumbnail.h"
#include "catalogue/ToUtf8.h"
#include "catalogue/VideoStreamChoice.h"
#include "platform/Clock.h"
#include "platform/FfmpegHandles.h"
#include "platform/MediaInput.h"
#include "platform/OperatorLog.h"
#include "platform/PathBytes.h"

namespace {

// Why a file that FFmpeg could not open is no title.
SkipReason OpenFailure(const MediaInput& input) {
    if (!input.opened && input.error == AVERROR(ENOENT))
        return {SkipKind::Missing, {}};
    return {SkipKind::NotMediaFile, FfmpegErrorText(input.error)};
}

CodecContextPtr OpenDecoder(const AVCodecParameters& parameters, FramePool::Title* frames) {
    const AVCodec* decoder = avcodec_find_decoder(parameters.codec_id);
    if (decoder == nullptr)
        return {};
    CodecContextPtr context(avcodec_alloc_context3(decoder));
    if (!context)
        return {};
    if (avcodec_parameters_to_context(context.get(), &parameters) < 0)
        return {};
    if (frames != nullptr)
        frames->Serve(context.get(), KeyPacketMakesAPicture(*context));
    if (avcodec_open2(context.get(), decoder, nullptr) < 0)
        return {};
    return context;
}

CatalogueEntry MediaFileEntry(const std::wstring& path, const std::string& title,
                              std::string mediaPath) {
    CatalogueEntry entry;
    entry.kind = MEDIA_FILE_KIND;
    entry.title = title;
    entry.path = path;
    entry.mediaPath = std::move(mediaPath);
    entry.thumbWidth = THUMBNAIL_WIDTH;
    entry.thumbHeight = THUMBNAIL_HEIGHT;
    entry.thumbnail.assign(THUMBNAIL_BYTES, 0);
    return entry;
}

// A read the system refused, told to the operator; a read that a cancel
// ended is none.
bool ReadFailed(const AVFormatContext& input, const std::string& mediaPath) {
    const AVIOContext* reader = input.pb;
    if (reader == nullptr || reader->error >= 0 || reader->error == AVERROR_EXIT)
        return false;
    platform::LogForOperator("cannot read " + mediaPath + " at offset " +
                             std::to_string(reader->pos) + ": " + FfmpegErrorText(reader->error));
    return true;
}

}  // namespace

TitleOrReason ProbeMediaFile(const std::wstring& path, const std::string& title,
                             const ProbeHelp& help) {
    std::string mediaPath = platform::PathToOsBytes(path);
    // Declared before the decoder so that the decoder is freed first.
    const MediaInput opened = OpenMediaInput(mediaPath, help.cancel);
    if (!opened.context)
        return OpenFailure(opened);
    const FormatContextPtr& input = opened.context;
    const int streamIndex = ChooseVideoStream(*input);
    if (streamIndex < 0)
        return SkipReason{SkipKind::NoVideoStream, {}};
    const AVCodecParameters& parameters = *input->streams[streamIndex]->codecpar;
    // Outlives the decoder, whose pictures it lends.
    std::optional<FramePool::Title> frames;
    if (help.frames != nullptr)
        frames.emplace(*help.frames);
    const CodecContextPtr decoder = OpenDecoder(parameters, frames ? &*frames : nullptr);
    if (!decoder)
        return SkipReason{SkipKind::NoDecoder, avcodec_get_name(parameters.codec_id)};

    CatalogueEntry entry = MediaFileEntry(path, title, mediaPath);
    MakeThumbnail(input.get(), streamIndex, decoder.get(), entry);
    if (ReadFailed(*input, mediaPath) && help.readFailed != nullptr)
        *help.readFailed = true;
    entry.lastUsed = platform::TimeGetTime();
    return entry;
}
