#include "platform/MediaInput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/RegularFile.h"

namespace {

// FFmpeg's reads ask this, and give up once it answers 1.
int StopRaised(void* stop) {
    return static_cast<const std::atomic<bool>*>(stop)->load(std::memory_order_relaxed) ? 1 : 0;
}

// FFmpeg's own file reader over the regular file at `path`, opened without
// waiting on whatever the path names: a FIFO or a device in a video's place
// is refused instead of holding the open for ever. The file is opened again
// through the descriptor, so that it is the file looked at even when the
// path changes meanwhile; without /proc, through the path itself.
AVIOContext* OpenFileReader(const std::string& path, const AVIOInterruptCB& interrupt, int& error) {
    const int descriptor = platform::OpenRegularFileForReading(path);
    if (descriptor < 0) {
        error = AVERROR(errno);
        return nullptr;
    }
    AVIOContext* reader = nullptr;
    const std::string same = "file:/proc/self/fd/" + std::to_string(descriptor);
    error = avio_open2(&reader, same.c_str(), AVIO_FLAG_READ, &interrupt, nullptr);
    if (error < 0)
        error = avio_open2(&reader, ("file:" + path).c_str(), AVIO_FLAG_READ, &interrupt, nullptr);
    close(descriptor);
    return reader;
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
    // What names nothing on the disk, an address of FFmpeg's own protocols
    // among them, FFmpeg opens itself.
    AVIOContext* reader = nullptr;
    if (struct stat status{}; stat(path.c_str(), &status) == 0) {
        reader = OpenFileReader(path, opened->interrupt_callback, input.error);
        if (reader == nullptr) {
            avformat_free_context(opened);
            return input;
        }
    }
    // The name still tells the formats apart by extension, as it would with
    // FFmpeg opening the path itself.
    opened->pb = reader;
    // avformat_open_input frees the context it was given when it fails, but
    // not a reader it was lent.
    input.error = avformat_open_input(&opened, path.c_str(), nullptr, nullptr);
    if (input.error < 0) {
        avio_closep(&reader);
        return input;
    }
    input.opened = true;
    FormatContextPtr context(opened);
    input.error = avformat_find_stream_info(context.get(), nullptr);
    if (input.error >= 0) {
        input.error = 0;
        input.context = std::move(context);
    }
    return input;
}
