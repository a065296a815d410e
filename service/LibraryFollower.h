#pragma once

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/Catalogue.h"
#include "catalogue/TitleStore.h"
#include "platform/FolderWatch.h"
#include "platform/WakeEvent.h"
#include "service/LibraryUpdates.h"

// The files a build left out beyond the title limit.
std::vector<std::wstring> BeyondTitleLimit(const std::vector<SkippedPath>& skipped);

// Follows the files and folders a service shares while it runs, on a thread
// of its own: the system tells it of every change in the folders, and in
// those that hold the files named; once a burst of changes has settled it
// reads the library again, the known files from its title store, and offers
// the library to the loop when anything in it changed. A file counts once it
// has been closed after writing or moved in: one being written is taken as
// if it were not there yet. While nothing changes the thread sleeps. Where
// the system tells nothing (network shares), Reload reads the library again.
class LibraryFollower {
public:
    LibraryFollower() = default;
    ~LibraryFollower() { Stop(); }
    LibraryFollower(const LibraryFollower&) = delete;
    LibraryFollower& operator=(const LibraryFollower&) = delete;

    // Follows `paths`, read with `titles` into `updates`; `offered` is the
    // library as the start read it. Both must outlive the following.
    void Start(std::vector<std::wstring> paths, ReadLibrary offered, const TitleStore& titles,
               LibraryUpdates& updates);

    // Reads the library again soon, changed or not. Any thread may ask, at
    // any time; asked before Start, the reading comes once it has started.
    void Reload();

    // Ends the following, a reading under way included. Harmless when none runs.
    void Stop();

private:
    void Run();
    // Waits for a change, a reload or the stop; the wait ends after `timeoutMs`
    // when it is not negative. False when the wait ran out.
    bool Wait(int timeoutMs);
    // Takes the folders' news; true when the library may have changed.
    bool TakeChanges();
    // Watches the folders of the last reading; true when one is new.
    bool WatchFolders(const std::vector<std::wstring>& folders);
    // Reads the library and offers it when it changed; true when a folder
    // not watched before turned up, which may hold files that came unseen.
    bool ReadAgain();

    std::vector<std::wstring> paths_;
    const TitleStore* titles_ = nullptr;
    LibraryUpdates* updates_ = nullptr;
    ReadLibrary lastOffered_;
    std::unique_ptr<platform::FolderWatch> watch_;
    platform::WakeEvent wake_;
    std::atomic<bool> reloadWanted_{false};
    std::atomic<bool> stopWanted_{false};
    // Files opened for writing and not closed since.
    std::set<std::wstring> writing_;
    // Folders the operator was told cannot be followed.
    std::set<std::wstring> unwatchedTold_;
    std::thread thread_;
};
