#include "platform/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace platform {
namespace {

class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return descriptor_; }
    bool Close() {
        const int descriptor = descriptor_;
        descriptor_ = -1;
        return descriptor < 0 || close(descriptor) == 0;
    }

private:
    int descriptor_;
};

bool WriteAll(int descriptor, const uint8_t* data, size_t count) {
    while (count > 0) {
        const ssize_t written = write(descriptor, data, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, uint64_t limit) {
    const Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (file.Get() < 0 || fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<uint64_t>(status.st_size) > limit)
        return std::nullopt;
    std::vector<uint8_t> bytes(static_cast<size_t>(status.st_size));
    size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = read(file.Get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return std::nullopt;
        filled += static_cast<size_t>(got);
    }
    return bytes;
}

bool ReplaceWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string temporary = path + ".XXXXXX";
    Descriptor file(mkostemp(temporary.data(), O_CLOEXEC));
    if (file.Get() < 0)
        return false;
    bool written = WriteAll(file.Get(), bytes.data(), bytes.size());
    written = file.Close() && written;
    if (written && rename(temporary.c_str(), path.c_str()) != 0) {
        written = (errno == EISDIR || errno == ENOTEMPTY || errno == EEXIST) &&
                  rmdir(path.c_str()) == 0 && rename(temporary.c_str(), path.c_str()) == 0;
    }
    if (!written)
        unlink(temporary.c_str());
    return written;
}

bool MakePrivateDirectory(const std::string& path) {
    std::error_code failed;
    if (std::filesystem::is_directory(path, failed))
        return true;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), failed);
    return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace platform
