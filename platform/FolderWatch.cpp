#include "platform/FolderWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/PathBytes.h"

namespace platform {
namespace {

// A file counts once it is closed after writing or moved in; its creation and
// each write only say that it is not complete yet.
constexpr uint32_t kFolderEvents = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO |
                                   IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF |
                                   IN_ONLYDIR;

std::optional<FolderChange> ChangeOf(uint32_t mask) {
    if (mask & IN_Q_OVERFLOW)
        return FolderChange::Lost;
    if (mask & (IN_DELETE_SELF | IN_MOVE_SELF))
        return FolderChange::FoldersChanged;
    if (mask & IN_ISDIR) {
        if (mask & (IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE))
            return FolderChange::FoldersChanged;
        return std::nullopt;
    }
    if (mask & (IN_CLOSE_WRITE | IN_MOVED_TO))
        return FolderChange::Complete;
    if (mask & (IN_DELETE | IN_MOVED_FROM))
        return FolderChange::Gone;
    if (mask & (IN_CREATE | IN_MODIFY))
        return FolderChange::Writing;
    return std::nullopt;
}

}  // namespace

FolderWatch::FolderWatch() : descriptor_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

FolderWatch::~FolderWatch() {
    if (descriptor_ >= 0)
        close(descriptor_);
}

std::string FolderWatch::Watch(const std::wstring& folder, bool& added) {
    added = false;
    if (descriptor_ < 0)
        return "inotify: " + std::string(std::strerror(errno));
    const int watch = inotify_add_watch(descriptor_, PathToOsBytes(folder).c_str(), kFolderEvents);
    if (watch < 0)
        return std::strerror(errno);
    // The same folder gives the same number again.
    added = folders_.find(watch) == folders_.end();
    folders_[watch] = folder;
    return {};
}

std::vector<FolderEvent> FolderWatch::Read() {
    std::vector<FolderEvent> events;
    if (descriptor_ < 0)
        return events;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t length = read(descriptor_, buffer, sizeof buffer);
        if (length <= 0)
            return events;
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_IGNORED) {
                folders_.erase(event->wd);
                continue;
            }
            const std::optional<FolderChange> change = ChangeOf(event->mask);
            if (!change)
                continue;
            const auto folder = folders_.find(event->wd);
            events.push_back({*change, folder != folders_.end() ? folder->second : std::wstring(),
                              event->len > 0 ? PathFromOsBytes(event->name) : std::wstring()});
        }
    }
}

}  // namespace platform
