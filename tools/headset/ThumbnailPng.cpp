#include "tools/headset/ThumbnailPng.h"

#include <cstdio>
#include <memory>

#include "platform/FfmpegHandles.h"

namespace headset {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The fourth byte is not an alpha the picture can rely on, so it is dropped.
void CopyBgraToRgb(const std::vector<uint8_t>& bgra, int width, int height, AVFrame& frame) {
    for (int y = 0; y < height; ++y) {
        const uint8_t* from = bgra.data() + static_cast<size_t>(y) * width * 4;
        uint8_t* to = frame.data[0] + static_cast<size_t>(y) * frame.linesize[0];
        for (int x = 0; x < width; ++x, from += 4, to += 3) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
        }
    }
}

}  // namespace

std::string WriteThumbnailPng(const std::vector<uint8_t>& bgra, int width, int height,
                              const std::string& path) {
    if (width <= 0 || height <= 0 || bgra.size() != static_cast<size_t>(width) * height * 4)
        return "the thumbnail has no picture";
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_PNG);
    CodecContextPtr context(encoder ? avcodec_alloc_context3(encoder) : nullptr);
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!context || !frame || !packet)
        return "no PNG encoder";
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_RGB24;
    context->time_base = {1, 1};
    frame->width = width;
    frame->height = height;
    frame->format = AV_PIX_FMT_RGB24;
    if (avcodec_open2(context.get(), encoder, nullptr) < 0 ||
        av_frame_get_buffer(frame.get(), 0) < 0)
        return "cannot set up the PNG encoder";
    CopyBgraToRgb(bgra, width, height, *frame);
    if (avcodec_send_frame(context.get(), frame.get()) < 0 ||
        avcodec_receive_packet(context.get(), packet.get()) < 0)
        return "the PNG encoder failed";
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    const size_t size = static_cast<size_t>(packet->size);
    if (!file || std::fwrite(packet->data, 1, size, file.get()) != size ||
        std::fclose(file.release()) != 0)
        return "cannot write " + path;
    return {};
}

}  // namespace headset
