#pragma once

#include <optional>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "catalogue/TitleCache.h"
#include "service/DirectoryRegistration.h"
#include "service/ServiceState.h"
#include "service/StartReport.h"

// The front end that owns the service start's one message to the user. The
// window shows it in a message box; the headless front end prints it.
class MessageBoxOwner {
public:
    virtual ~MessageBoxOwner() = default;
    virtual void ShowMessage(const std::wstring& text, const std::wstring& caption) = 0;
};

// One service: its state, and the directory its starts register with. Made
// by the front end that starts it; a process may hold several, each started
// and stopped by one thread. Destroying a running service stops it.
class VideoService {
public:
    VideoService() = default;
    ~VideoService() { StopVideoService(); }
    VideoService(const VideoService&) = delete;
    VideoService& operator=(const VideoService&) = delete;

    // Builds the catalogue from `paths`, opens the endpoints, announces and
    // registers the service and starts the worker thread; tells the owner
    // when there were more paths than titles. Runs synchronously on the
    // caller's thread, which may be any thread but the one that stops the
    // service; the service must be stopped. Says what it did. `build` brings
    // the build's listeners and its cancel flag: once that is raised, the
    // start ends before it starts the worker, with everything closed again,
    // and reports itself cancelled. The service's own cache is used.
    StartReport StartVideoService(const std::vector<std::wstring>& paths,
                                  MessageBoxOwner* ownerWindow, CatalogueBuildOptions build = {});

    // Raises the stop flag, waits for the worker thread, then closes every
    // socket and session and empties the catalogue. Harmless when nothing runs.
    void StopVideoService();

    // Where the next starts register: an origin from ParseDirectoryOrigin,
    // kDirectoryOrigin (the default) for the project's own, or std::nullopt
    // for no registration at all. Not for use while the service runs.
    void SetDirectoryOrigin(std::optional<std::string> origin) {
        directoryOrigin_ = std::move(origin);
    }

    // The cache the next starts take titles from and keep them in; none
    // (the default) reads every file. Not for use while the service runs.
    void SetTitleCache(std::optional<TitleCache> cache) { titleCache_ = std::move(cache); }

    // What the headsets of the running service do; any thread may ask.
    HeadsetView Headsets() const { return state_.headsets.View(); }

    // For tests and benchmarks, which look inside or drive the loop by hand.
    ServiceState& State() { return state_; }
    const ServiceState& State() const { return state_; }

private:
    void StartWorker();
    // Closes what the start opened; the report of a start that was cancelled.
    StartReport CancelledStart();

    ServiceState state_;
    std::optional<std::string> directoryOrigin_{kDirectoryOrigin};
    std::optional<TitleCache> titleCache_;
};
