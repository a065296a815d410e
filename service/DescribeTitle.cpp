#include "service/DescribeTitle.h"

#include <algorithm>

#include "catalogue/TitleReplySizes.h"
#include "protocol/ProtocolLimits.h"
#include "protocol/Replies.h"
#include "protocol/Requests.h"
#include "service/OperatorEvents.h"
#include "service/SessionReply.h"

void DescribeTitle(bsMemRead& request, ClientSession& session, const Catalogue& catalogue) {
    protocol::DescribeTitleRequest wanted;
    wanted.Serialize(request);
    if (!protocol::IsValidTitleIndex(wanted.titleIndex, catalogue.size())) {
        QueueStatusReply<protocol::TitleDescription>(session, kDescribeStatusInvalidTitle);
        return;
    }
    const CatalogueEntry& entry = catalogue[static_cast<size_t>(wanted.titleIndex)];
    if (entry.title.size() > kMaxTitleBytes) {
        QueueStatusReply<protocol::TitleDescription>(session, kDescribeStatusTitleTooLong);
        return;
    }
    protocol::TitleDescription reply;
    reply.title = entry.title;
    reply.thumbWidth = entry.thumbWidth;
    reply.thumbHeight = entry.thumbHeight;
    reply.thumbnail = entry.thumbnail;
    QueueReply(session, reply);
    LogDescribed(session, wanted.titleIndex, entry);
}

size_t LargestDescription(const Catalogue& catalogue) {
    size_t largest = DescriptionReplyBytes(CatalogueEntry{});
    for (const CatalogueEntry& entry : catalogue)
        largest = std::max(largest, DescriptionReplyBytes(entry));
    return largest;
}
