#include "catalogue/Catalogue.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>
#include <variant>

#include "catalogue/FolderExpansion.h"
#include "catalogue/FramePool.h"
#include "catalogue/MediaProbe.h"
#include "catalogue/PackagedMovie.h"
#include "catalogue/TitleReplySizes.h"
#include "catalogue/TitleStore.h"
#include "catalogue/ToUtf8.h"
#include "catalogue/VideoFileNames.h"
#include "platform/DirectoryListing.h"
#include "platform/FreedMemory.h"
#include "platform/MachineCapacity.h"
#include "platform/MemoryRoom.h"
#include "platform/PathBytes.h"
#include "platform/RegularFile.h"
#include "platform/ResidentMemory.h"

namespace {

// Room for more entries than MAX_TITLES, so filling never reallocates.
constexpr size_t kReservedEntries = 200;
constexpr size_t kShortestPath = 5;

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// The characters after the last separator, or nothing when the path has no
// separator or ends in one.
std::optional<std::wstring_view> FileNamePart(std::wstring_view path) {
    const auto last = std::find_if(path.rbegin(), path.rend(), IsSeparator);
    if (last == path.rend() || last == path.rbegin())
        return std::nullopt;
    return path.substr(static_cast<size_t>(path.rend() - last));
}

TitleOrReason ReadTitle(const std::wstring& path, const ProbeHelp& help) {
    if (path.size() < kShortestPath)
        return SkipReason{SkipKind::NoFileName, {}};
    const std::optional<std::wstring_view> fileName = FileNamePart(path);
    if (!fileName)
        return SkipReason{SkipKind::NoFileName, {}};
    // Told before anything opens it: opening a FIFO waits for a writer.
    if (std::optional<std::string> kind = platform::NotARegularFile(platform::PathToOsBytes(path)))
        return SkipReason{SkipKind::NotRegularFile, std::move(*kind)};
    const std::string title = ToUtf8(*fileName);
    if (IsPackagedMoviePath(path))
        return ReadPackagedMovie(path, title);
    return ProbeMediaFile(path, title, help);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A title about which no reply could ever be sent is left out: its requests
// would hold every headset's back for good.
TitleRead LeftOutWhenRepliesCannotFit(TitleRead read) {
    if (const auto* entry = std::get_if<CatalogueEntry>(&read.outcome)) {
        if (std::optional<SkipReason> reason = ReplyThatCannotFit(*entry))
            read.outcome = std::move(*reason);
    }
    return read;
}

// One file, from the cache when it holds the file as it is now. Packaged
// movies hold their picture ready and are not cached.
TitleRead ReadFile(const std::wstring& path, const CatalogueBuildOptions& options,
                   FramePool& frames) {
    const auto start = std::chrono::steady_clock::now();
    const TitleStore* cache = IsPackagedMoviePath(path) ? nullptr : options.cache;
    // Taken before the file is read, so that a file changed meanwhile is
    // kept under its old status and read again next time.
    const platform::PathStatus status =
        cache != nullptr ? platform::StatusOfPath(path) : platform::PathStatus{};
    if (cache != nullptr) {
        if (std::optional<CatalogueEntry> kept = cache->Find(path, status))
            return LeftOutWhenRepliesCannotFit({std::move(*kept), {SecondsSince(start), true}});
    }
    bool readFailed = false;
    TitleRead result{ReadTitle(path, {&frames, options.cancel, &readFailed}), {}};
    result.read.decoded =
        !IsPackagedMoviePath(path) && std::holds_alternative<CatalogueEntry>(result.outcome);
    const auto* entry = std::get_if<CatalogueEntry>(&result.outcome);
    // A reading that the cancel cut short, or that a read error did, may
    // have missed its picture.
    if (cache != nullptr && entry != nullptr && !IsCancelled(options.cancel) && !readFailed)
        cache->Keep(path, status, *entry);
    result.read.seconds = SecondsSince(start);
    return LeftOutWhenRepliesCannotFit(std::move(result));
}

// Reads alone until a title has been read from its file, measures what that
// reader added to the process at its peak, and then adds as many readers as
// the memory the process may still take holds, up to the processors.
class ReaderCountChooser {
public:
    explicit ReaderCountChooser(const CatalogueBuildOptions& options) {
        choice_.processors = platform::UsableProcessors();
        choice_.readers = options.readers > 0 ? options.readers : choice_.processors;
        measuring_ = options.readers == 0 && choice_.processors > 1;
        if (measuring_) {
            choice_.readers = 1;
            (void)platform::ResetPeakResident();
            restingBytes_ = platform::ResidentBytes();
        }
    }

    ReaderCount Count() {
        if (!measuring_)
            return {choice_.readers, {}};
        return {1, [this](const TitleRead& read) { return AfterTitle(read); }};
    }

    ReaderChoice Choice() const { return choice_; }

private:
    std::optional<size_t> AfterTitle(const TitleRead& read) {
        if (!read.read.decoded)
            return std::nullopt;
        const uint64_t peak = platform::PeakResidentBytes();
        choice_.readerCostBytes = peak > restingBytes_ ? peak - restingBytes_ : 0;
        choice_.roomBytes = platform::ReadMemoryRoom().UsableBytes();
        choice_.readers =
            ReadersThatFit(choice_.roomBytes, choice_.readerCostBytes, choice_.processors);
        return choice_.readers;
    }

    ReaderChoice choice_;
    bool measuring_ = false;
    uint64_t restingBytes_ = 0;
};

}  // namespace

BuiltCatalogue BuildCatalogue(const std::vector<std::wstring>& paths,
                              const CatalogueBuildOptions& options) {
    BuiltCatalogue built;
    built.catalogue.reserve(kReservedEntries);
    std::vector<ExpandedPath> items = ExpandFolders(paths, &built.folders);
    if (options.leaveOut) {
        std::erase_if(items, [&options](const ExpandedPath& item) {
            return item.isFile && options.leaveOut(item.path);
        });
    }
    // Every one of the first MAX_TITLES files uses up a place, accepted or
    // not; a folder takes none of its own.
    std::vector<size_t> itemsToRead;
    std::vector<std::wstring> pathsToRead;
    for (size_t i = 0; i < items.size() && itemsToRead.size() < MAX_TITLES; ++i) {
        if (items[i].isFile) {
            itemsToRead.push_back(i);
            pathsToRead.push_back(items[i].path);
        }
    }

    size_t nextItem = 0;
    // The items before `end` that are not read: folders, and files beyond
    // the limit.
    const auto settleUnread = [&](size_t end) {
        for (; nextItem < end; ++nextItem) {
            ExpandedPath& item = items[nextItem];
            built.skipped.push_back(
                {std::move(item.path), item.isFile ? SkipReason{SkipKind::BeyondTitleLimit, {}}
                                                   : std::move(item.reason)});
        }
    };
    const auto deliver = [&](size_t file, TitleRead& read) {
        settleUnread(itemsToRead[file]);
        ExpandedPath& item = items[nextItem++];
        if (CatalogueEntry* entry = std::get_if<CatalogueEntry>(&read.outcome)) {
            built.catalogue.push_back(std::move(*entry));
            if (options.onTitle)
                options.onTitle(built.catalogue.size() - 1, built.catalogue.back(), read.read);
        } else {
            built.skipped.push_back({std::move(item.path), std::get<SkipReason>(read.outcome)});
        }
    };
    const auto readOne = [&](size_t file, FramePool& frames) {
        return ReadFile(pathsToRead[file], options, frames);
    };
    ReaderCountChooser readers(options);
    const bool complete = ReadTitlesInOrder(pathsToRead.size(), readers.Count(), options.cancel,
                                            readOne, deliver, options.onProgress);
    // The readers' decoders left their tables free in the readers' arenas.
    platform::ReturnFreedMemory();
    if (!complete)
        return {{}, {}, true, {}, {}};
    settleUnread(items.size());
    if (options.cache != nullptr)
        options.cache->Trim();
    built.readers = readers.Choice();
    return built;
}
