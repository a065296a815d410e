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
