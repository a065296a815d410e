#include "archive/bsFileRead.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

bsFileRead::bsFileRead(const wchar_t* path, const wchar_t* mode)
    : file_(OpenStdioFile(path, mode)) {
    if (!file_)
        return;
    struct stat status {};
    if (fstat(fileno(file_.get()), &status) == 0 && status.st_size > 0) {
        length_ = static_cast<uint64_t>(status.st_size);
    }
}

iArc& bsFileRead::SerializeBytes(void* data, uint64_t count) {
    if (data == nullptr || !file_)
        return *this;
    const uint64_t position = Tell();
    const uint64_t remaining = position < length_ ? length_ - position : 0;
    if (count > remaining)
        count = remaining;
    if (count > 0) {
        // A short read is not an error here: the caller's preset values stand.
        fileReads_.fetch_add(1, std::memory_order_relaxed);
        (void)std::fread(data, 1, count, file_.get());
    }
    return *this;
}

uint64_t bsFileRead::Tell() {
    if (!file_)
        return 0;
    const off_t position = ftello(file_.get());
    return position > 0 ? static_cast<uint64_t>(position) : 0;
}

bool bsFileRead::Seek(int64_t offset, int origin) {
    if (!file_)
        return false;
    // Seeking past the end is allowed; later reads then deliver nothing.
    (void)fseeko(file_.get(), static_cast<off_t>(offset), origin);
    return true;
}

uint64_t bsFileRead::ReadAt(uint64_t offset, void* data, uint64_t count) const {
    if (data == nullptr || !file_ || offset >= length_)
        return 0;
    if (count > length_ - offset)
        count = length_ - offset;
    fileReads_.fetch_add(1, std::memory_order_relaxed);
    const int descriptor = fileno(file_.get());
    auto* out = static_cast<uint8_t*>(data);
    uint64_t delivered = 0;
    while (delivered < count) {
        const ssize_t got = pread(descriptor, out + delivered, count - delivered,
                                  static_cast<off_t>(offset + delivered));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        delivered += static_cast<uint64_t>(got);
    }
    return delivered;
}
