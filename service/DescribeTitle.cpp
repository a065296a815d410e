#include "service/DescribeTitle.h"

#include "service/ReplyWriter.h"
#include "service/RequestCodes.h"
#include "service/TitleIndex.h"

namespace {

constexpr int32_t kReplyCode = ReplyCodeFor(kDescribeTitleRequest);
constexpr int32_t kStatusTitleTooLong = 1;
constexpr int32_t kStatusInvalidTitle = 2;
constexpr size_t kMaxTitleBytes = 1023;

}  // namespace

void DescribeTitle(bsMemRead& request, ClientSession& session) {
    int32_t titleIndex = -1;
    request.Serialize(titleIndex);
    if (!IsValidTitleIndex(titleIndex)) {
        SendStatusReply(session, kReplyCode, kStatusInvalidTitle);
        return;
    }
    CatalogueEntry& entry = catalogue[static_cast<size_t>(titleIndex)];
    if (entry.title.size() > kMaxTitleBytes) {
        SendStatusReply(session, kReplyCode, kStatusTitleTooLong);
        return;
    }

    bsMemWrite reply;
    int32_t code = kReplyCode;
    int32_t status = kStatusSuccess;
    int32_t titleLength = static_cast<int32_t>(entry.title.size());
    int32_t thumbnailBytes = static_cast<int32_t>(entry.thumbnail.size());
    reply.Serialize(code).Serialize(status).Serialize(titleLength).Serialize(thumbnailBytes);
    reply.Serialize(entry.thumbWidth).Serialize(entry.thumbHeight);
    SerializeRun(reply, entry.title);
    SerializeRun(reply, entry.thumbnail);
    SendReplyTo(session, reply);
}
