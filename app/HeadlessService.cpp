#include "app/HeadlessService.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "app/FirewallFinding.h"
#include "app/ServiceOptionsChoice.h"
#include "app/StartupSteps.h"
#include "catalogue/Catalogue.h"
#include "platform/LocalAddresses.h"
#include "platform/OperatorLog.h"
#include "platform/PathBytes.h"
#include "protocol/ServiceConstants.h"
#include "service/ListenFailure.h"
#include "service/VideoService.h"

namespace {

// A path as the system names it: its own bytes, also where they are not UTF-8.
std::string PathText(const std::wstring& path) {
    return platform::PathToOsBytes(path);
}

// Tells each title as the build settles it, with how long its reading took
// and whether it came from the cache, and the count at the end with the HDR
// titles whose thumbnails were tone-mapped and those that could not be.
class TitleLines {
public:
    void Print(size_t index, const CatalogueEntry& entry, const FileRead& read) {
        std::printf("title %zu: %s (kind %lld, thumbnail %dx%d), %s in %.3f s\n", index,
                    entry.title.c_str(), static_cast<long long>(entry.kind), entry.thumbWidth,
                    entry.thumbHeight, read.fromCache ? "from the cache" : "read", read.seconds);
        std::fflush(stdout);
        fromCache_ += read.fromCache ? 1 : 0;
        if (entry.thumbnailTone == ThumbnailTone::ToneMapped)
            AddName(toneMapped_, entry.title);
        if (entry.thumbnailTone == ThumbnailTone::NotToneMapped)
            AddName(notToneMapped_, entry.title);
    }

    void PrintTotal(const StartReport& report) const {
        const size_t titles = report.titles.size();
        std::printf("catalogue: %zu title%s in %.3f s, %zu from the cache%s%s\n", titles,
                    titles == 1 ? "" : "s", report.catalogueSeconds, fromCache_,
                    Named("; HDR tone-mapped: ", toneMapped_).c_str(),
                    Named("; HDR not tone-mapped: ", notToneMapped_).c_str());
    }

private:
    static void AddName(std::string& names, const std::string& title) {
        names += names.empty() ? "" : ", ";
        names += title;
    }

    static std::string Named(const char* what, const std::string& names) {
        return names.empty() ? std::string() : what + names;
    }

    size_t fromCache_ = 0;
    std::string toneMapped_;
    std::string notToneMapped_;
};

unsigned long long Mebibytes(uint64_t bytes) {
    return static_cast<unsigned long long>(bytes >> 20);
}

// One line, only when a memory limit made the start choose less than its
// defaults, so that someone whose start is slow or whose headsets are held
// back knows why.
void PrintMemoryChoice(const MemoryChoice& memory) {
    if (!memory.Limited())
        return;
    const ReaderChoice& readers = memory.readers;
    std::string why;
    if (readers.LimitedByMemory()) {
        why = " (a reader took " + std::to_string(Mebibytes(readers.readerCostBytes)) + " MiB, " +
              std::to_string(Mebibytes(readers.roomBytes.value_or(0))) + " MiB free)";
    }
    std::string limit;
    if (memory.budgets.cgroupLimitBytes)
        limit = ", cgroup limit " + std::to_string(Mebibytes(*memory.budgets.cgroupLimitBytes)) +
                " MiB";
    std::printf(
        "memory: %zu title%s read at a time of %zu processor%s%s; block caches %llu MiB, "
        "replies %llu MiB%s\n",
        readers.readers, readers.readers == 1 ? "" : "s", readers.processors,
        readers.processors == 1 ? "" : "s", why.c_str(), Mebibytes(memory.budgets.blockCacheBytes),
        Mebibytes(memory.budgets.replyBytes), limit.c_str());
}

void PrintSkipped(const StartReport& report) {
    for (const SkippedPath& skipped : report.skipped) {
        std::printf("skipped: %s (%s)\n", PathText(skipped.path).c_str(),
                    DescribeSkipReason(skipped.reason).c_str());
    }
}

void PrintEndpoint(const char* what, const platform::Ipv4Address& address, unsigned port,
                   const std::optional<EndpointOutcome>& outcome) {
    if (!outcome)
        return;
    const std::string place = platform::FormatIpv4Address(address) + ":" + std::to_string(port);
    if (outcome->opened) {
        std::printf("%s on %s\n", what, place.c_str());
    } else {
        std::printf("not %s on %s: %s\n", what, place.c_str(), outcome->error.c_str());
    }
}

void PrintAddresses(const StartReport& report) {
    for (const AddressReport& address : report.addresses) {
        PrintEndpoint("listening", address.address, servicePort, address.listener);
        PrintEndpoint("announcing", address.address, discoveryLocalPort, address.discovery);
    }
    if (!report.socketError.empty())
        std::printf("start ended early: %s\n", report.socketError.c_str());
}

void PrintRegistration(const RegistrationReport& registration,
                       const std::optional<std::string>& directory) {
    using Outcome = RegistrationReport::Outcome;
    const std::string where = directory.value_or("no directory");
    switch (registration.outcome) {
        case Outcome::Sent:
            std::printf("registration: sent to %s, HTTP status %ld\n", where.c_str(),
                        registration.httpStatus);
            break;
        case Outcome::Failed:
            std::printf("registration: failed at %s: %s\n", where.c_str(),
                        registration.detail.c_str());
            break;
        case Outcome::NotSent:
            std::printf("registration: not sent: %s\n", registration.detail.c_str());
            break;
    }
}

// The window's notice in its own words, which say only that there were too
// many; PrintLeftOut says which.
void PrintTooManyNotice(const StartReport& report) {
    if (report.workerStarted && LeftOutBeyondTitleLimit(report))
        std::fprintf(stderr, "提示: Lofrin最多添加32个视频！\n");
}

void PrintLeftOut(const StartReport& report) {
    std::string leftOut;
    for (const SkippedPath& skipped : report.skipped) {
        if (skipped.reason.kind != SkipKind::BeyondTitleLimit)
            continue;
        leftOut += leftOut.empty() ? " " : ", ";
        leftOut += PathText(skipped.path);
    }
    if (!leftOut.empty()) {
        std::fprintf(stderr, "OnduLofrin: at most %zu videos can be shared; left out:%s\n",
                     MAX_TITLES, leftOut.c_str());
    }
}

// Said at each start, as the rules may have changed since the last one; the
// rules themselves are left as they are.
void TellWhatKeepsHeadsetsOut() {
    if (const auto finding = FindFirewallKeepingHeadsetsOut())
        std::fprintf(stderr, "%s\n", FirewallLine(*finding).c_str());
}

// Takes SIGINT, SIGTERM and SIGHUP for the whole run on a thread of its own:
// during the start SIGINT or SIGTERM cancels it, afterwards either ends the
// wait for it; SIGHUP asks for the library to be read again, and the wait
// goes on. The signals are blocked before any other thread exists, so that
// every thread inherits the mask and only this one receives them.
class ServiceSignals {
public:
    explicit ServiceSignals(std::function<void()> reload) : reload_(std::move(reload)) {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        sigaddset(&signals_, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
        taker_ = std::thread([this] { TakeUntilStopped(); });
    }
    ~ServiceSignals() {
        if (!taker_.joinable())
            return;
        if (!received_)
            pthread_kill(taker_.native_handle(), SIGTERM);
        taker_.join();
    }
    ServiceSignals(const ServiceSignals&) = delete;
    ServiceSignals& operator=(const ServiceSignals&) = delete;

    const std::atomic<bool>& Received() const { return received_; }
    // Returns once a stop signal has come.
    void Wait() { taker_.join(); }

private:
    void TakeUntilStopped() {
        for (;;) {
            int received = 0;
            if (sigwait(&signals_, &received) != 0)
                continue;
            if (received != SIGHUP)
                break;
            platform::LogForOperator("SIGHUP: reading the library again");
            reload_();
        }
        received_ = true;
    }

    std::function<void()> reload_;
    sigset_t signals_;
    std::atomic<bool> received_{false};
    std::thread taker_;
};

}  // namespace

void PrintStartReport(const StartReport& report, const std::optional<std::string>& directory) {
    PrintSkipped(report);
    PrintAddresses(report);
    if (report.workerStarted)
        PrintRegistration(report.registration, directory);
    std::fflush(stdout);
    PrintLeftOut(report);
}

int RunHeadlessService(const CommandLine& line) {
    // Made before the signals' thread, which reloads it; it starts no thread
    // of its own before its start.
    VideoService service;
    ServiceSignals stop([&service] { service.ReloadLibrary(); });

    ServiceOptions options = ChooseServiceOptions(line, ConfigFilePath(), ProcessEnvironment);
    options.followFolders = true;
    TitleLines titles;
    CatalogueBuildOptions build;
    build.cancel = &stop.Received();
    build.onTitle = [&titles](size_t index, const CatalogueEntry& entry, const FileRead& read) {
        titles.Print(index, entry, read);
    };
    const StartReport report = service.StartVideoService(options, build);
    if (report.cancelled) {
        std::printf("stopped during the start\n");
        return 0;
    }
    PrintTooManyNotice(report);
    titles.PrintTotal(report);
    PrintMemoryChoice(report.memory);
    PrintStartReport(report, options.directoryOrigin);

    // A service no headset can reach would only look as if it ran.
    if (const auto reason = WhyNothingListens(report)) {
        service.StopVideoService();
        std::fprintf(stderr, "OnduLofrin: no address can listen on port %u (%s); stopped\n",
                     static_cast<unsigned>(servicePort), reason->c_str());
        return 1;
    }
    TellWhatKeepsHeadsetsOut();

    stop.Wait();
    service.StopVideoService();
    std::printf("stopped\n");
    return 0;
}
