#include "catalogue/MediaProbe.h"

#include <cstdint>
#include <utility>

#include "catalogue/Catalogue.h"
#include "catalogue/Thumbnail.h"
#include "catalogue/ToUtf8.h"
#include "platform/Clock.h"
#include "platform/FfmpegHandles.h"

namespace {

FormatContextPtr OpenMediaInput(const std::string& mediaPath) {
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, mediaPath.c_str(), nullptr, nullptr) < 0)
        return {};
    FormatContextPtr input(opened);
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        return {};
    return input;
}

bool IsSizedVideo(const AVCodecParameters& parameters) {
    return parameters.codec_type == AVMEDIA_TYPE_VIDEO && parameters.width > 0 &&
           parameters.height > 0;
}

int64_t SizeSum(const AVCodecParameters& parameters) {
    return int64_t{parameters.width} + parameters.height;
}

// The video stream with the largest width + height; on a tie the earlier
// stream stays. -1 when the file has no video stream of positive size.
int ChooseVideoStream(const AVFormatContext& input) {
    int chosen = -1;
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVCodecParameters* candidate = input.streams[i]->codecpar;
        if (candidate == nullptr || !IsSizedVideo(*candidate))
            continue;
        if (chosen < 0 || SizeSum(*candidate) > SizeSum(*input.streams[chosen]->codecpar)) {
            chosen = static_cast<int>(i);
        }
    }
    return chosen;
}

CodecContextPtr OpenDecoder(const AVCodecParameters& parameters) {
    const AVCodec* decoder = avcodec_find_decoder(parameters.codec_id);
    if (decoder == nullptr)
        return {};
    CodecContextPtr context(avcodec_alloc_context3(decoder));
    if (!context)
        return {};
    if (avcodec_parameters_to_context(context.get(), &parameters) < 0)
        return {};
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

}  // namespace

void ProbeMediaFile(const std::wstring& path, const std::string& title) {
    std::string mediaPath = ToUtf8(path);
    // Declared before the decoder so that the decoder is freed first.
    const FormatContextPtr input = OpenMediaInput(mediaPath);
    if (!input)
        return;
    const int streamIndex = ChooseVideoStream(*input);
    if (streamIndex < 0)
        return;
    const CodecContextPtr decoder = OpenDecoder(*input->streams[streamIndex]->codecpar);
    if (!decoder)
        return;

    CatalogueEntry entry = MediaFileEntry(path, title, std::move(mediaPath));
    MakeThumbnail(input.get(), streamIndex, decoder.get(), entry);
    entry.lastUsed = platform::TimeGetTime();
    catalogue.push_back(std::move(entry));
}
