#pragma once

#include <optional>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "catalogue/RememberedTitles.h"
#include "catalogue/TitleCache.h"
#include "service/DirectoryRegistration.h"
#include "service/LibraryFollower.h"
#include "service/ServiceOptions.h"
#include "service/ServiceState.h"
#include "service/StartReport.h"

// One service: its state, and the directory its starts register with. Made
// by the front end that starts it; a process may hold several, each started
// and stopped by one thread. Destroying a running service stops it.
class VideoService {
public:
    VideoService() = default;
    ~VideoService() { StopVideoService(); }
    VideoService(const VideoService&) = delete;
    VideoService& operator=(const VideoService&) = delete;

    // Builds the catalogue from the options' paths, opens the endpoints on
    // their addresses, announces and registers the service and starts the
    // worker thread. Runs synchronously on the caller's thread, which may be
    // any thread but the one that stops the service; the service must be
    // stopped. Says what it did, the paths left out beyond the title limit
    // included, for the front end to tell in its own words. `build` brings
    // the build's listeners and its cancel flag: once that is raised, the
    // start ends before it starts the worker, with everything closed again,
    // and reports itself cancelled.
    StartReport StartVideoService(const ServiceOptions& options, CatalogueBuildOptions build = {});

    // Raises the stop flag, waits for the worker thread, then closes every
    // socket and session and empties the catalogue. Harmless when nothing runs.
    void StopVideoService();

    // With followFolders: reads the folders and files again and offers what
    // changed, as when the folders tell of a change. Any thread may ask, at
    // any time; otherwise harmless.
    void ReloadLibrary() { follower_.Reload(); }

    // What the headsets of the running service do; any thread may ask.
    HeadsetView Headsets() const { return state_.headsets.View(); }

    // For tests and benchmarks, which look inside or drive the loop by hand.
    ServiceState& State() { return state_; }
    const ServiceState& State() const { return state_; }

private:
    void StartWorker();
    // Closes what the start opened; the report of a start that was cancelled.
    StartReport CancelledStart();

    // The titles known to the start and, when the folders are followed, to
    // every reading after it. Declared before the state and the follower,
    // which use them.
    std::optional<TitleCache> titleCache_;
    std::optional<RememberedTitles> rememberedTitles_;
    ServiceState state_;
    LibraryFollower follower_;
};
