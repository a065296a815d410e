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

void DescribeTitle(bsMemRead& request, ClientSession& session, const Catalogue& catalogue) {
    int32_t titleIndex = -1;
    request.Serialize(titleIndex);
    if (!IsValidTitleIndex(titleIndex, catalogue.size())) {
        QueueStatusReply(session, kReplyCode, kDescribeStatusInvalidTitle);
        return;
    }
    const CatalogueEntry& entry = catalogue[static_cast<size_t>(titleIndex)];
    if (entry.title.size() > kMaxTitleBytes) {
        QueueStatusReply(session, kReplyCode, kDescribeStatusTitleTooLong);
        return;
    }

    bsMemWrite reply;
    WriteReplyHead(reply, kReplyCode, kStatusSuccess);
    int32_t titleLength = static_cast<int32_t>(entry.title.size());
    int32_t thumbnailBytes = static_cast<int32_t>(entry.thumbnail.size());
    reply.Serialize(titleLength).Serialize(thumbnailBytes);
    int32_t width = entry.thumbWidth;
    int32_t height = entry.thumbHeight;
    reply.Serialize(width).Serialize(height);
    SerializeRun(reply, entry.title);
    SerializeRun(reply, entry.thumbnail);
    QueueReply(session, reply);
    LogDescribed(session, titleIndex, entry);
}
