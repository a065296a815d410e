#include "platform/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <system_error>

#include "platform/RegularFile.h"

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

// Where the links at `path` lead in the end; `path` itself when it is no
// link. A link to nothing leads to the file it names, which a write makes.
std::string LinkTarget(std::string path) {
    constexpr int kMostLinks = 40;  // the kernel's own bound
    for (int hop = 0; hop < kMostLinks; ++hop) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return path;
        std::string next(PATH_MAX, '\0');
        const ssize_t length = readlink(path.c_str(), next.data(), next.size());
        if (length <= 0 || static_cast<size_t>(length) >= next.size())
            return path;
        next.resize(static_cast<size_t>(length));
        if (!next.starts_with('/'))
            next = std::filesystem::path(path).parent_path() / next;
        path = std::move(next);
    }
    return path;
}

// A rename is kept after a power cut only once the folder holding it is on
// the disk. A folder that cannot be synced leaves the rename to the system.
void SyncFolderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    const Descriptor directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Get() >= 0)
        (void)fsync(directory.Get());
}

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
    const Descriptor file(OpenRegularFileForReading(path));
    struct stat status {};
    if (file.Get() < 0 || fstat(file.Get(), &status) != 0 ||
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
    // A link stays a link: the file it leads to is the one replaced.
    const std::string target = LinkTarget(path);
    struct stat old {};
    const bool replacing = stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    std::string temporary = target + ".XXXXXX";
    Descriptor file(mkostemp(temporary.data(), O_CLOEXEC));
    if (file.Get() < 0)
        return false;
    bool written = WriteAll(file.Get(), bytes.data(), bytes.size());
    if (written && replacing) {
        // Whoever owned the file and could read it still does; a user that
        // is not root cannot give a file away, and keeps it then.
        (void)fchown(file.Get(), old.st_uid, old.st_gid);
        written = fchmod(file.Get(), old.st_mode & 07777) == 0;
    }
    // On the disk before its name is: after a power cut the name leads to
    // the old bytes or the new ones, never to an empty file.
    written = written && fsync(file.Get()) == 0;
    written = file.Close() && written;
    if (written && rename(temporary.c_str(), target.c_str()) != 0) {
        written = (errno == EISDIR || errno == ENOTEMPTY || errno == EEXIST) &&
                  rmdir(target.c_str()) == 0 && rename(temporary.c_str(), target.c_str()) == 0;
    }
    if (!written) {
        unlink(temporary.c_str());
        return false;
    }
    SyncFolderOf(target);
    return true;
}

bool MakePrivateDirectory(const std::string& path) {
    std::error_code failed;
    if (std::filesystem::is_directory(path, failed))
        return true;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), failed);
    return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace platform
