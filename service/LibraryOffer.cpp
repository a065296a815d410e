#include "service/LibraryOffer.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/OperatorLog.h"
#include "platform/PathBytes.h"
#include "service/Endpoints.h"

namespace {

std::optional<size_t> IndexOf(const Catalogue& titles, const std::wstring& path) {
    const auto found =
        std::find_if(titles.begin(), titles.end(),
                     [&path](const CatalogueEntry& entry) { return entry.path == path; });
    if (found == titles.end())
        return std::nullopt;
    return static_cast<size_t>(found - titles.begin());
}

bool SamePaths(const Catalogue& one, const Catalogue& other) {
    return std::equal(
        one.begin(), one.end(), other.begin(), other.end(),
        [](const CatalogueEntry& a, const CatalogueEntry& b) { return a.path == b.path; });
}

std::string TitleText(size_t index, const CatalogueEntry& entry) {
    return "title " + std::to_string(index) + " (" + entry.title + ")";
}

// One line for each title that came or went between two readings, named by
// its index in the titles offered before and after.
void TellChanges(const Catalogue& before, const Catalogue& after, const Catalogue& offeredBefore,
                 const Catalogue& offered) {
    for (const CatalogueEntry& entry : after) {
        if (IndexOf(before, entry.path))
            continue;
        if (const std::optional<size_t> index = IndexOf(offered, entry.path))
            platform::LogForOperator(TitleText(*index, entry) + " added");
    }
    for (const CatalogueEntry& entry : before) {
        if (IndexOf(after, entry.path))
            continue;
        const std::optional<size_t> index = IndexOf(offeredBefore, entry.path);
        const bool kept = IndexOf(offered, entry.path).has_value();
        platform::LogForOperator(
            (index ? TitleText(*index, entry) : "title (" + entry.title + ")") + " removed" +
            (kept ? "; its index answers as a missing file until no headset is connected" : ""));
    }
}

// The start's notice, once for each set of files left out that holds one not
// told before.
void TellBeyondLimit(ServiceState& state, std::vector<std::wstring> beyondLimit) {
    std::sort(beyondLimit.begin(), beyondLimit.end());
    const bool anyNew = !std::includes(state.beyondLimitTold.begin(), state.beyondLimitTold.end(),
                                       beyondLimit.begin(), beyondLimit.end());
    state.beyondLimitTold = beyondLimit;
    if (!anyNew)
        return;
    std::string names;
    for (const std::wstring& path : beyondLimit)
        names += (names.empty() ? "" : ", ") + platform::PathToOsBytes(path);
    platform::LogForOperator("提示: Lofrin最多添加32个视频！ (at most " +
                             std::to_string(MAX_TITLES) +
                             " videos can be shared; left out: " + names + ")");
}

}  // namespace

Catalogue KeepingIndexes(const Catalogue& offered, const Catalogue& library,
                         std::vector<std::wstring>& beyondLimit) {
    Catalogue kept = offered;
    for (CatalogueEntry& entry : kept) {
        if (const std::optional<size_t> again = IndexOf(library, entry.path))
            entry = library[*again];
    }
    for (const CatalogueEntry& entry : library) {
        if (IndexOf(offered, entry.path))
            continue;
        if (kept.size() < MAX_TITLES)
            kept.push_back(entry);
        else
            beyondLimit.push_back(entry.path);
    }
    return kept;
}

void OfferLibraryChanges(ServiceState& state) {
    if (!state.library)
        return;
    std::optional<ReadLibrary> read = state.libraryUpdates.Take();
    if (!read && state.catalogue == state.library)
        return;
    const bool headsetConnected = !state.sessions.empty();
    if (!read && headsetConnected)
        return;
    std::shared_ptr<const Catalogue> offered = read ? read->titles : state.library;
    if (read) {
        if (headsetConnected) {
            offered = std::make_shared<const Catalogue>(
                KeepingIndexes(*state.catalogue, *read->titles, read->beyondLimit));
        }
        TellChanges(*state.library, *read->titles, *state.catalogue, *offered);
        TellBeyondLimit(state, std::move(read->beyondLimit));
        state.library = read->titles;
    } else if (!SamePaths(*state.catalogue, *offered)) {
        platform::LogForOperator("no headset is connected: the " + std::to_string(offered->size()) +
                                 " titles are numbered anew in the folders' order");
    }
    const bool countChanged = offered->size() != state.catalogue->size();
    state.catalogue = std::move(offered);
    if (countChanged)
        BuildAnnouncement(state);
}
