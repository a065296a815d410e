#include "service/DescribeTitle.h"

#include "protocol/ProtocolLimits.h"
#include "protocol/ReplyWriter.h"
#include "protocol/RequestCodes.h"
#include "protocol/TitleIndex.h"
#include "service/OperatorEvents.h"
#include "service/SessionReply.h"

namespace {

constexpr int32_t kReplyCode = ReplyCodeFor(kDescribeTitleRequest);

}  // namespace

void DescribeTitle(bsMemRead& request, ClientSession& session, Catalogue& catalogue) {
    int32_t titleIndex = -1;
    request.Serialize(titleIndex);
    if (!IsValidTitleIndex(titleIndex, catalogue.size())) {
        QueueStatusReply(session, kReplyCode, kDescribeStatusInvalidTitle);
        return;
    }
    CatalogueEntry& entry = catalogue[static_cast<size_t>(titleIndex)];
    if (entry.title.size() > kMaxTitleBytes) {
        QueueStatusReply(session, kReplyCode, kDescribeStatusTitleTooLong);
        return;
    }

    bsMemWrite reply;
    WriteReplyHead(reply, kReplyCode, kStatusSuccess);
    int32_t titleLength = static_cast<int32_t>(entry.title.size());
    int32_t thumbnailBytes = static_cast<int32_t>(entry.thumbnail.size());
    reply.Serialize(titleLength).Serialize(thumbnailBytes);
    reply.Serialize(entry.thumbWidth).Serialize(entry.thumbHeight);
    SerializeRun(reply, entry.title);
    SerializeRun(reply, entry.thumbnail);
    QueueReply(session, reply);
    LogDescribed(session, titleIndex, entry);
}
