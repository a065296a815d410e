#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "platform/LocalAddresses.h"
#include "service/MemoryBudgets.h"

// What a service start did, for the front end that started it.

// One title as the catalogue holds it, without its pixels.
struct TitleSummary {
    std::wstring path;
    std::string title;
    int64_t kind = 0;
    int32_t thumbWidth = 0;
    int32_t thumbHeight = 0;
};

// Whether one socket opened on an address; the system's text when not.
struct EndpointOutcome {
    bool opened = false;
    std::string error;
};

// One local address, in the order of the listeners' lookup. An endpoint
// without an outcome was not tried on the address: the start ended first,
// or the lookup for that kind of socket did not return the address.
struct AddressReport {
    platform::Ipv4Address address{};
    std::optional<EndpointOutcome> listener;
    std::optional<EndpointOutcome> discovery;
};

struct RegistrationReport {
    enum class Outcome {
        NotSent,  // no directory, no address or no title: `detail` says which
        Sent,     // the directory answered with `httpStatus`
        Failed,   // no answer: `detail` is libcurl's text
    };
    Outcome outcome = Outcome::NotSent;
    long httpStatus = 0;
    std::string detail;
};

struct StartReport {
    std::vector<TitleSummary> titles;
    std::vector<SkippedPath> skipped;
    // How long the catalogue took to build.
    double catalogueSeconds = 0;
    // How many titles were read at once, and what the service may hold.
    MemoryChoice memory;
    std::vector<AddressReport> addresses;
    RegistrationReport registration;
    // A socket could not even be created, which ended the start: the
    // system's text. Empty when every socket was created.
    std::string socketError;
    bool workerStarted = false;
    // The start was cancelled: it opened nothing that is still open, and the
    // rest of the report is empty.
    bool cancelled = false;
};

// Whether paths were left out beyond the title limit, counted after the
// folders were expanded: a folder of 40 videos is 40 files to the limit.
inline bool LeftOutBeyondTitleLimit(const StartReport& report) {
    return std::ranges::any_of(report.skipped, [](const SkippedPath& skipped) {
        return skipped.reason.kind == SkipKind::BeyondTitleLimit;
    });
}
