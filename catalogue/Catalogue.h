#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/CatalogueEntry.h"
#include "catalogue/ReaderChoice.h"
#include "catalogue/SkipReason.h"
#include "catalogue/TitleReaders.h"

class TitleStore;

// The headset protocol and the window both cap the list at this many titles.
constexpr size_t MAX_TITLES = 32;

// The shared titles, in the order the user listed them. A headset addresses a
// title by its position. Built before the service's worker thread starts;
// afterwards the threads that handle requests read it, and write nothing but
// the entries' use stamps (MarkUsed).
using Catalogue = std::vector<CatalogueEntry>;

// A path that did not become a title, and why.
struct SkippedPath {
    std::wstring path;
    SkipReason reason;
};

// What a build made of its paths: the titles, and every path that is not
// among them, in the order of the paths. A cancelled build has neither.
struct BuiltCatalogue {
    Catalogue catalogue;
    std::vector<SkippedPath> skipped;
    bool cancelled = false;
    ReaderChoice readers;
    // The folders walked to find the files, named as the files' paths begin.
    std::vector<std::wstring> folders;
};

// What a build may be given besides its paths.
struct CatalogueBuildOptions {
    // Entries kept from earlier builds, used and kept up to date; without
    // it every file is read.
    const TitleStore* cache = nullptr;
    // Files that are taken as if they were not there (being written, say).
    std::function<bool(const std::wstring& path)> leaveOut;
    // Files read at once; 0: one per processor, fewer when the memory the
    // process may take would not hold them, as the first title read shows.
    size_t readers = 0;
    // Raised by another thread to end the build: no file is started after
    // it, the files under way give up their reading, and the build returns
    // cancelled.
    const std::atomic<bool>* cancel = nullptr;
    // Hears, on the building thread, how many of the files to read are done
    // (in any order), first none.
    std::function<void(size_t filesRead, size_t filesToRead)> onProgress;
    // Hears, on the building thread and in the order of the paths, each
    // title as soon as it and every path before it are settled.
    std::function<void(size_t index, const CatalogueEntry& entry, const FileRead& read)> onTitle;
};

// Expands the folders among `paths` (ExpandFolders), then takes the first
// MAX_TITLES files as titles, leaving out each that fails a check; every
// further file is skipped as beyond the limit. The files are read on
// several threads, each title as it would be read alone.
BuiltCatalogue BuildCatalogue(const std::vector<std::wstring>& paths,
                              const CatalogueBuildOptions& options = {});
