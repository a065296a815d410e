#include "service/HandleRequest.h"

#include <algorithm>

#include "protocol/RequestCodes.h"
#include "service/DescribeTitle.h"
#include "service/FetchPacketBatch.h"
#include "service/OpenMediaTitle.h"
#include "service/OperatorEvents.h"
#include "service/PackagedTitle.h"

namespace {

// Each request code with its handler and the largest reply that handler
// may make, which the reply budget keeps for the request until it is done.
struct RequestRoute {
    int32_t code;
    void (*handle)(bsMemRead& request, ClientSession& session, const Catalogue& catalogue);
    size_t (*largestReply)(const Catalogue& catalogue);
};

constexpr auto LargestBatch = [](const Catalogue&) { return kLargestBatchReply; };

constexpr RequestRoute kRoutes[] = {
    {kDescribeTitleRequest, DescribeTitle, LargestDescription},
    {kOpenPackagedTitleRequest, OpenPackagedTitle, LargestPackagedOpening},
    {kFetchPackagedDataRequest, FetchPackagedData, LargestPackagedFetch},
    {kFetchPacketBatchRequest, FetchPacketBatch, LargestBatch},
    // The stream records and codec data of a media file have no bound of
    // their own: the reply counts as a batch.
    {kOpenMediaTitleRequest, OpenMediaTitle, LargestBatch},
};

int32_t ReadCode(bsMemRead& request) {
    int32_t code = 0;
    request.Serialize(code);
    return code;
}

const RequestRoute* RouteFor(int32_t code) {
    for (const RequestRoute& route : kRoutes) {
        if (route.code == code)
            return &route;
    }
    return nullptr;
}

}  // namespace

void HandleRequest(bsMemRead& request, ClientSession& session, const Catalogue& catalogue) {
    const int32_t code = ReadCode(request);
    LogRequest(session, code);
    const RequestRoute* route = RouteFor(code);
    if (route == nullptr)
        return;
    // Each request reads its code again with the rest of its fields.
    request.Seek(0, 0);
    route->handle(request, session, catalogue);
}

size_t LargestReplyFor(const std::vector<uint8_t>& request, const Catalogue& catalogue) {
    bsMemRead reader(request.data(), request.size());
    const RequestRoute* route = RouteFor(ReadCode(reader));
    return route != nullptr ? route->largestReply(catalogue) : 0;
}

size_t LargestReplyOfAny(const Catalogue& catalogue) {
    size_t largest = 0;
    for (const RequestRoute& route : kRoutes)
        largest = std::max(largest, route.largestReply(catalogue));
    return largest;
}

bool IsKnownRequest(const std::vector<uint8_t>& request) {
    bsMemRead reader(request.data(), request.size());
    return RouteFor(ReadCode(reader)) != nullptr;
}
