#include "platform/MediaInput.h"

namespace {

// FFmpeg's reads ask this, and give up once it answers 1.
int StopRaised(void* stop) {
    return static_cast<const std::atomic<bool>*>(stop)->load(std::memory_order_relaxed) ? 1 : 0;
}

}  // namespace

std::string FfmpegErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

MediaInput OpenMediaInput(const std::string& path, const std::atomic<bool>* stop) {
    MediaInput input;
    AVFormatContext* opened = avformat_alloc_context();
    if (opened == nullptr) {
        input.error = AVERROR(ENOMEM);
        return input;
    }
    if (stop != nullptr)
        opened->interrupt_callback = {StopRaised, const_cast<std::atomic<bool>*>(stop)};
    // avformat_open_input frees the context it was given when it fails.
    input.error = avformat_open_input(&opened, path.c_str(), nullptr, nullptr);
    if (input.error < 0)
        return input;
    input.opened = true;
    FormatContextPtr context(opened);
    input.error = avformat_find_stream_info(context.get(), nullptr);
    if (input.error >= 0) {
        input.error = 0;
        input.context = std::move(context);
    }
    return input;
}
