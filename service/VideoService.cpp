#include "service/VideoService.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>

#include "catalogue/Catalogue.h"
#include "platform/MemoryRoom.h"
#include "service/ConnectionLoop.h"
#include "service/Endpoints.h"
#include "service/ListenFailure.h"

namespace {

std::vector<TitleSummary> Summaries(const Catalogue& catalogue) {
    std::vector<TitleSummary> titles;
    titles.reserve(catalogue.size());
    for (const CatalogueEntry& entry : catalogue) {
        titles.push_back(
            {entry.path, entry.title, entry.kind, entry.thumbWidth, entry.thumbHeight});
    }
    return titles;
}

}  // namespace

void VideoService::StartWorker() {
    state_.stopRequested = false;
    // Raised before the thread exists, so that it is high from the moment the
    // start returns until the worker has left its loop.
    state_.workerRunning = true;
    state_.watched.Open();
    state_.workerThread = std::thread(WorkerThreadProc, std::ref(state_));
}

StartReport VideoService::StartVideoService(const ServiceOptions& options,
                                            CatalogueBuildOptions build) {
    StartReport report;
    if (options.cacheDirectory)
        titleCache_.emplace(*options.cacheDirectory);
    build.cache = titleCache_ ? &*titleCache_ : nullptr;
    // A library read again reads only what changed, with or without a cache.
    if (options.followFolders)
        build.cache = &rememberedTitles_.emplace(build.cache);
    const auto buildStart = std::chrono::steady_clock::now();
    BuiltCatalogue built = BuildCatalogue(options.paths, build);
    if (built.cancelled)
        return CancelledStart();
    report.memory = {built.readers, BudgetsFor(platform::ReadMemoryRoom())};
    state_.packagedFiles.SetCacheBudget(report.memory.budgets.blockCacheBytes);
    state_.replyBudgetBytes = report.memory.budgets.replyBytes;
    report.catalogueSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - buildStart).count();
    state_.catalogue = std::make_shared<const Catalogue>(std::move(built.catalogue));
    report.titles = Summaries(*state_.catalogue);
    report.skipped = std::move(built.skipped);
    const std::vector<platform::Ipv4Address> addresses =
        options.bindAddresses ? *options.bindAddresses : platform::LocalIpv4Addresses();
    if (!OpenListenSockets(state_, addresses, report))
        return report;
    if (!OpenDiscoverySockets(state_, addresses, report))
        return report;
    BuildAnnouncement(state_);
    // Telling the directory of a service no headset can reach would send
    // people to a PC that does not answer.
    if (!state_.localAddresses.empty() && WhyNothingListens(report)) {
        report.registration = {RegistrationReport::Outcome::NotSent, 0, "no address listens"};
    } else {
        report.registration = RegisterWithDirectory(
            options.directoryOrigin, state_.catalogue->size(), state_.localAddresses, build.cancel);
    }
    if (IsCancelled(build.cancel))
        return CancelledStart();
    if (options.followFolders)
        state_.library = state_.catalogue;
    StartWorker();
    report.workerStarted = true;
    if (options.followFolders) {
        follower_.Start(options.paths, {state_.catalogue, BeyondTitleLimit(report.skipped)},
                        *rememberedTitles_, state_.libraryUpdates);
    }
    return report;
}

StartReport VideoService::CancelledStart() {
    StopVideoService();
    StartReport report;
    report.cancelled = true;
    return report;
}

void VideoService::StopVideoService() {
    ServiceState& state = state_;
    // Nothing is read or offered from here on.
    follower_.Stop();
    state.stopRequested = true;
    // The worker ends at its next look at the flag, after the pass under way,
    // and the media threads once their jobs give up at their next read;
    // only then may the state they use go. A read that never returns holds
    // the stop here rather than free what it reads into.
    if (state.workerThread.joinable())
        state.workerThread.join();
    state.mediaWorkers.Stop();
    (void)state.handledRequests.Take();

    for (platform::Socket& socket : state.listenSockets)
        socket.Close();
    for (platform::Socket& socket : state.discoverySockets)
        socket.Close();
    state.localAddresses.clear();
    state.listenSockets.clear();
    state.discoverySockets.clear();
    state.discoveryAddresses.clear();
    state.discoveryAnnouncements.clear();

    state.catalogue = std::make_shared<const Catalogue>();
    state.library.reset();
    (void)state.libraryUpdates.Take();
    state.beyondLimitTold.clear();
    rememberedTitles_.reset();
    titleCache_.reset();

    // Each session releases its media before its socket closes.
    state.watched.Clear();
    for (std::unique_ptr<ClientSession>& session : state.sessions)
        session.reset();
    state.sessions.clear();
    state.shortage = {};
    state.headsets.Clear();
}
