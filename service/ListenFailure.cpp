#include "service/ListenFailure.h"

std::optional<std::string> WhyNothingListens(const StartReport& report) {
    std::string reasons;
    for (const AddressReport& address : report.addresses) {
        if (address.listener && address.listener->opened)
            return std::nullopt;
        if (!address.listener)
            continue;
        if (!reasons.empty())
            reasons += "; ";
        reasons += platform::FormatIpv4Address(address.address) + ": " + address.listener->error;
    }
    if (!report.socketError.empty())
        return reasons.empty() ? report.socketError : reasons + "; " + report.socketError;
    if (reasons.empty())
        return std::string("no IPv4 address to listen on");
    return reasons;
}
