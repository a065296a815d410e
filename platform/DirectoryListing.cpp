#include "platform/DirectoryListing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/PathBytes.h"

namespace platform {
namespace {

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

bool IsDotOrDotDot(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

}  // namespace

PathStatus StatusOfPath(const std::wstring& path) {
    struct stat status {};
    if (stat(PathToOsBytes(path).c_str(), &status) != 0)
        return {};
    const PathKind kind = S_ISDIR(status.st_mode)   ? PathKind::Directory
                          : S_ISREG(status.st_mode) ? PathKind::File
                                                    : PathKind::Other;
    return {kind,
            {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)},
            static_cast<uint64_t>(status.st_size),
            int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec};
}

DirectoryNames ListDirectory(const std::wstring& path) {
    DirectoryNames listing;
    const std::unique_ptr<DIR, DirectoryCloser> directory(opendir(PathToOsBytes(path).c_str()));
    if (!directory) {
        listing.error = std::strerror(errno);
        return listing;
    }
    while (const dirent* entry = readdir(directory.get())) {
        if (!IsDotOrDotDot(entry->d_name))
            listing.names.push_back(PathFromOsBytes(entry->d_name));
    }
    return listing;
}

}  // namespace platform
