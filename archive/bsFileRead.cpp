#include "archive/bsFileRead.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/OperatorLog.h"
#include "platform/PathBytes.h"

bsFileRead::bsFileRead(const wchar_t* path, const wchar_t* mode)
    : file_(OpenStdioFile(path, mode)),
      pathBytes_(path != nullptr ? platform::PathToOsBytes(path) : std::string()) {
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
        // A short read at the end is not an error here: the caller's preset
        // values stand.
        fileReads_.fetch_add(1, std::memory_order_relaxed);
        errno = 0;
        const size_t got = std::fread(data, 1, count, file_.get());
        if (got < count && std::ferror(file_.get())) {
            const int error = errno != 0 ? errno : EIO;
            readError_ = readError_ != 0 ? readError_ : error;
            TellReadError(position + got, error);
            std::clearerr(file_.get());
        }
    }
    return *this;
}

void bsFileRead::TellReadError(uint64_t offset, int error) const {
    platform::LogForOperator("cannot read " + pathBytes_ + " at offset " + std::to_string(offset) +
                             ": " + std::strerror(error));
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

bsFileRead::ReadResult bsFileRead::ReadAt(uint64_t offset, void* data, uint64_t count) const {
    ReadResult result;
    if (data == nullptr || !file_ || offset >= length_)
        return result;
    if (count > length_ - offset)
        count = length_ - offset;
    fileReads_.fetch_add(1, std::memory_order_relaxed);
    const int descriptor = fileno(file_.get());
    auto* out = static_cast<uint8_t*>(data);
    while (result.delivered < count) {
        const ssize_t got = pread(descriptor, out + result.delivered, count - result.delivered,
                                  static_cast<off_t>(offset + result.delivered));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result.error = errno;
            TellReadError(offset + result.delivered, result.error);
        }
        if (got <= 0)
            break;
        result.delivered += static_cast<uint64_t>(got);
    }
    return result;
}
