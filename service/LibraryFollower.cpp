#include "service/LibraryFollower.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "catalogue/FolderExpansion.h"
#include "platform/DirectoryListing.h"
#include "platform/OperatorLog.h"
#include "platform/PathBytes.h"
#include "platform/Sleep.h"
#include "service/MediaWorkers.h"

namespace {

// Changes come in bursts: a copy closed and renamed, a folder of files moved
// in. The library is read once they pause this long, or this long after the
// first of them, so that a long copy beside them holds nothing back.
constexpr int kSettleMs = 200;
constexpr auto kLongestSettle = std::chrono::seconds(1);
// A file being written tells every write. Looking at most this often lets
// the system fold those news into one while the copy goes on.
constexpr uint32_t kWritingPauseMs = 100;

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.rfind(L'/');
    if (slash == std::wstring::npos)
        return L".";
    return slash == 0 ? L"/" : path.substr(0, slash);
}

bool SameTitle(const CatalogueEntry& a, const CatalogueEntry& b) {
    return a.path == b.path && a.kind == b.kind && a.title == b.title &&
           a.mediaPath == b.mediaPath && a.thumbWidth == b.thumbWidth &&
           a.thumbHeight == b.thumbHeight && a.dataOffset == b.dataOffset &&
           a.headerSize == b.headerSize && a.recordCount == b.recordCount &&
           a.thumbnailTone == b.thumbnailTone && a.thumbnail == b.thumbnail;
}

bool SameLibrary(const ReadLibrary& a, const ReadLibrary& b) {
    return a.beyondLimit == b.beyondLimit &&
           std::equal(a.titles->begin(), a.titles->end(), b.titles->begin(), b.titles->end(),
                      SameTitle);
}

}  // namespace

std::vector<std::wstring> BeyondTitleLimit(const std::vector<SkippedPath>& skipped) {
    std::vector<std::wstring> paths;
    for (const SkippedPath& path : skipped) {
        if (path.reason.kind == SkipKind::BeyondTitleLimit)
            paths.push_back(path.path);
    }
    return paths;
}

void LibraryFollower::Start(std::vector<std::wstring> paths, ReadLibrary offered,
                            const TitleStore& titles, LibraryUpdates& updates) {
    Stop();
    paths_ = std::move(paths);
    lastOffered_ = std::move(offered);
    titles_ = &titles;
    updates_ = &updates;
    watch_ = std::make_unique<platform::FolderWatch>();
    stopWanted_ = false;
    if (!MediaWorkers::StartSystemThread(thread_, [this] { Run(); }))
        platform::LogForOperator(
            "no thread can be started to follow the folders; SIGHUP reads them again");
}

void LibraryFollower::Reload() {
    reloadWanted_ = true;
    wake_.Signal();
}

void LibraryFollower::Stop() {
    stopWanted_ = true;
    wake_.Signal();
    if (thread_.joinable())
        thread_.join();
    watch_.reset();
    writing_.clear();
    lastOffered_ = {};
}

void LibraryFollower::Run() {
    // Read at once: files may have come between the start's reading and the
    // first watch.
    bool changed = true;
    while (!stopWanted_) {
        if (!changed) {
            (void)Wait(-1);
            changed = TakeChanges();
            if (!changed) {
                if (!stopWanted_)
                    platform::Sleep(kWritingPauseMs);
                continue;
            }
        }
        const auto first = std::chrono::steady_clock::now();
        while (!stopWanted_ && std::chrono::steady_clock::now() - first < kLongestSettle &&
               Wait(kSettleMs)) {
            (void)TakeChanges();
        }
        if (stopWanted_)
            break;
        changed = ReadAgain();
    }
}

bool LibraryFollower::Wait(int timeoutMs) {
    pollfd descriptors[2] = {{wake_.Descriptor(), POLLIN, 0}, {watch_->Descriptor(), POLLIN, 0}};
    return poll(descriptors, watch_->Descriptor() >= 0 ? 2 : 1, timeoutMs) != 0;
}

bool LibraryFollower::TakeChanges() {
    // Drained before the flag is looked at, so that a reload asked meanwhile
    // wakes the next wait.
    wake_.Drain();
    bool changed = reloadWanted_.exchange(false);
    for (const platform::FolderEvent& event : watch_->Read()) {
        const std::wstring path = PathInFolder(event.folder, event.name);
        switch (event.change) {
            case platform::FolderChange::Writing:
                writing_.insert(path);
                break;
            case platform::FolderChange::Complete:
            case platform::FolderChange::Gone:
                writing_.erase(path);
                changed = true;
                break;
            case platform::FolderChange::FoldersChanged:
            case platform::FolderChange::Lost:
                changed = true;
                break;
        }
    }
    return changed;
}

bool LibraryFollower::WatchFolders(const std::vector<std::wstring>& folders) {
    bool anyNew = false;
    for (const std::wstring& folder : folders) {
        bool added = false;
        const std::string error = watch_->Watch(folder, added);
        anyNew = anyNew || added;
        if (!error.empty() && unwatchedTold_.insert(folder).second) {
            platform::LogForOperator("changes in " + platform::PathToOsBytes(folder) +
                                     " are not followed (" + error +
                                     "); SIGHUP reads the library again");
        }
    }
    return anyNew;
}

bool LibraryFollower::ReadAgain() {
    CatalogueBuildOptions build;
    build.cache = titles_;
    // One file at a time: the headsets' streams come first.
    build.readers = 1;
    build.cancel = &stopWanted_;
    build.leaveOut = [this](const std::wstring& path) { return writing_.contains(path); };
    BuiltCatalogue built = BuildCatalogue(paths_, build);
    if (built.cancelled)
        return false;
    for (const std::wstring& path : paths_) {
        if (platform::StatusOfPath(path).kind != platform::PathKind::Directory)
            built.folders.push_back(FolderOf(path));
    }
    const bool newFolder = WatchFolders(built.folders);
    ReadLibrary read{std::make_shared<const Catalogue>(std::move(built.catalogue)),
                     BeyondTitleLimit(built.skipped)};
    if (!SameLibrary(read, lastOffered_)) {
        lastOffered_ = read;
        updates_->Offer(std::move(read));
    }
    return newFolder;
}
