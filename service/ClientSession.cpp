#include "service/ClientSession.h"

#include "platform/Clock.h"

void CloseMedia(ClientSession& session) {
    session.titleIndex = -1;
    session.media.reset();
    session.packaged.reset();
}

void QueueReply(ClientSession& session, std::vector<uint8_t>&& payload) {
    session.reply.emplace(std::move(payload));
    session.replyMovedAt = platform::TimeGetTime();
}

void QueueReply(ClientSession& session, ReplyParts&& parts, std::shared_ptr<BlockCache> cache) {
    session.reply.emplace(std::move(parts), std::move(cache));
    session.replyMovedAt = platform::TimeGetTime();
}
