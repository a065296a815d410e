#include "app/HeadlessService.h"

#include <signal.h>

#include <cstdio>

#include "platform/LocalAddresses.h"
#include "platform/PathBytes.h"
#include "platform/WideText.h"
#include "protocol/ServiceConstants.h"
#include "service/DirectoryRegistration.h"
#include "service/VideoService.h"

namespace {

const char kUsage[] =
    "usage: OnduLofrin --serve [--bind ADDR]... FILE...\n"
    "  Serves FILE... to headsets on the local network without a window,\n"
    "  until interrupted (SIGINT or SIGTERM).\n"
    "  --bind ADDR  listen and announce on this IPv4 address instead of the\n"
    "               addresses of the interfaces that have a link (repeatable)\n"
    "  --directory URL  register with the directory at this http or https\n"
    "               address (scheme, host and port) instead of ours\n"
    "  --no-directory   register with no directory at all\n";

class StderrMessages : public MessageBoxOwner {
public:
    void ShowMessage(const std::wstring& text, const std::wstring& caption) override {
        std::fprintf(stderr, "%s: %s\n", platform::WideToUtf8(caption).c_str(),
                     platform::WideToUtf8(text).c_str());
    }
};

bool InstallAddressOverride(const std::vector<std::string>& bindAddresses) {
    if (bindAddresses.empty())
        return true;
    std::vector<platform::Ipv4Address> addresses;
    for (const std::string& text : bindAddresses) {
        const auto address = platform::ParseIpv4Address(text);
        if (!address)
            return false;
        addresses.push_back(*address);
    }
    platform::SetLocalAddressOverride(addresses);
    return true;
}

void PrintCatalogue(const StartReport& report) {
    for (size_t i = 0; i < report.titles.size(); ++i) {
        const TitleSummary& title = report.titles[i];
        std::printf("title %zu: %s (kind %lld, thumbnail %dx%d)\n", i, title.title.c_str(),
                    static_cast<long long>(title.kind), title.thumbWidth, title.thumbHeight);
    }
    // The files beyond the limit are told about on standard error, by the
    // start's message.
    for (const SkippedPath& skipped : report.skipped) {
        if (skipped.reason.kind != SkipKind::BeyondTitleLimit)
            std::printf("skipped: %s\n", platform::PathToOsBytes(skipped.path).c_str());
    }
}

// Every address the listeners were tried on, whether or not one opened.
void PrintAddresses(const StartReport& report) {
    for (const AddressReport& address : report.addresses) {
        if (!address.listener)
            continue;
        std::printf("listening on %s:%u\n", platform::FormatIpv4Address(address.address).c_str(),
                    static_cast<unsigned>(servicePort));
    }
}

int WaitForStopSignal(const sigset_t& stopSignals) {
    int received = 0;
    while (sigwait(&stopSignals, &received) != 0) {
    }
    return received;
}

}  // namespace

bool ParseHeadlessOptions(const std::vector<std::string>& arguments, HeadlessOptions& options) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--bind") {
            if (i + 1 >= arguments.size())
                return false;
            if (!platform::ParseIpv4Address(arguments[i + 1]))
                return false;
            options.bindAddresses.push_back(arguments[++i]);
        } else if (argument == "--directory") {
            if (i + 1 >= arguments.size())
                return false;
            options.directoryOrigin = ParseDirectoryOrigin(arguments[++i]);
            if (!options.directoryOrigin)
                return false;
        } else if (argument == "--no-directory") {
            options.noDirectory = true;
        } else if (argument == "--") {
            for (++i; i < arguments.size(); ++i) {
                options.files.push_back(platform::PathFromOsBytes(arguments[i]));
            }
        } else if (argument.size() > 1 && argument[0] == '-') {
            return false;
        } else {
            options.files.push_back(platform::PathFromOsBytes(argument));
        }
    }
    if (options.noDirectory && options.directoryOrigin)
        return false;
    return !options.files.empty();
}

int RunHeadlessService(const std::vector<std::string>& arguments) {
    HeadlessOptions options;
    if (!ParseHeadlessOptions(arguments, options) ||
        !InstallAddressOverride(options.bindAddresses)) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    // Blocked before the worker thread exists, so that it inherits the mask
    // and the signals reach only sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    VideoService service;
    if (options.noDirectory) {
        service.SetDirectoryOrigin(std::nullopt);
    } else if (options.directoryOrigin) {
        service.SetDirectoryOrigin(options.directoryOrigin);
    }

    StderrMessages messages;
    const StartReport report = service.StartVideoService(options.files, &messages);
    PrintCatalogue(report);
    PrintAddresses(report);
    std::fflush(stdout);

    WaitForStopSignal(stopSignals);
    service.StopVideoService();
    std::printf("stopped\n");
    return 0;
}
