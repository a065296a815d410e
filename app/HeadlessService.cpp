#include "app/HeadlessService.h"

#include <signal.h>

#include <cstdio>

#include "app/DirectoryChoice.h"
#include "app/StartupSteps.h"
#include "catalogue/Catalogue.h"
#include "platform/LocalAddresses.h"
#include "platform/PathBytes.h"
#include "platform/WideText.h"
#include "protocol/ServiceConstants.h"
#include "service/ListenFailure.h"
#include "service/VideoService.h"

namespace {

class StderrMessages : public MessageBoxOwner {
public:
    void ShowMessage(const std::wstring& text, const std::wstring& caption) override {
        std::fprintf(stderr, "%s: %s\n", platform::WideToUtf8(caption).c_str(),
                     platform::WideToUtf8(text).c_str());
    }
};

// A path as the system names it: its own bytes, also where they are not UTF-8.
std::string PathText(const std::wstring& path) {
    return platform::PathToOsBytes(path);
}

void PrintTitles(const StartReport& report) {
    for (size_t i = 0; i < report.titles.size(); ++i) {
        const TitleSummary& title = report.titles[i];
        std::printf("title %zu: %s (kind %lld, thumbnail %dx%d)\n", i, title.title.c_str(),
                    static_cast<long long>(title.kind), title.thumbWidth, title.thumbHeight);
    }
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

// Beside the start's Chinese message, which says only that there were too many.
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

void ApplyCommandLine(const CommandLine& line) {
    if (!line.bindAddresses.empty())
        platform::SetLocalAddressOverride(line.bindAddresses);
}

int WaitForStopSignal(const sigset_t& stopSignals) {
    int received = 0;
    while (sigwait(&stopSignals, &received) != 0) {
    }
    return received;
}

}  // namespace

void PrintStartReport(const StartReport& report, const std::optional<std::string>& directory) {
    PrintTitles(report);
    PrintSkipped(report);
    PrintAddresses(report);
    if (report.workerStarted)
        PrintRegistration(report.registration, directory);
    std::fflush(stdout);
    PrintLeftOut(report);
}

int RunHeadlessService(const CommandLine& line) {
    ApplyCommandLine(line);

    // Blocked before the worker thread exists, so that it inherits the mask
    // and the signals reach only sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    VideoService service;
    const std::optional<std::string> directory = ChooseDirectory(line, ConfigFilePath());
    service.SetDirectoryOrigin(directory);

    StderrMessages messages;
    const StartReport report = service.StartVideoService(line.files, &messages);
    PrintStartReport(report, directory);

    // A service no headset can reach would only look as if it ran.
    if (const auto reason = WhyNothingListens(report)) {
        service.StopVideoService();
        std::fprintf(stderr, "OnduLofrin: no address can listen on port %u (%s); stopped\n",
                     static_cast<unsigned>(servicePort), reason->c_str());
        return 1;
    }

    WaitForStopSignal(stopSignals);
    service.StopVideoService();
    std::printf("stopped\n");
    return 0;
}
