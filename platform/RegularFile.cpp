#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

std::optional<std::string> KindInWords(mode_t mode) {
    if (S_ISREG(mode))
        return std::nullopt;
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISDIR(mode))
        return "a folder";
    return "not a file";
}

}  // namespace

int OpenRegularFileForReading(const std::string& path) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    struct stat status {};
    int refusal = 0;
    if (fstat(descriptor, &status) != 0)
        refusal = errno;
    else if (S_ISDIR(status.st_mode))
        refusal = EISDIR;
    else if (!S_ISREG(status.st_mode))
        refusal = EINVAL;
    // Reads of a regular file never wait for a writer; the flag is dropped
    // only so that the descriptor reads as any other does.
    if (refusal == 0 && fcntl(descriptor, F_SETFL, 0) != 0)
        refusal = errno;
    if (refusal != 0) {
        close(descriptor);
        errno = refusal;
        return -1;
    }
    return descriptor;
}

std::optional<std::string> NotARegularFile(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return KindInWords(status.st_mode);
}

}  // namespace platform
