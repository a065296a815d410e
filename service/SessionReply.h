#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Clock.h"
#include "protocol/MessageArchive.h"
#include "protocol/ProtocolLimits.h"
#include "service/ClientSession.h"

// The one road of a reply: a handler hands its message here, where it is
// stored, framed and put on the session for the connection loop to send.
// File ranges of the reply are read from `cache` as they go.
inline void QueueReply(ClientSession& session, ReplyParts&& parts,
                       std::shared_ptr<BlockCache> cache = nullptr) {
    session.reply.emplace(std::move(parts), std::move(cache));
    session.replyMovedAt = platform::TimeGetTime();
}

template <class Reply>
void QueueReply(ClientSession& session, const Reply& reply) {
    QueueReply(session, ReplyParts{protocol::Encoded(reply), {}, {}});
}

// A reply that carries only its code and a failure status.
template <class Reply>
void QueueStatusReply(ClientSession& session, int32_t status) {
    Reply reply;
    reply.status = status;
    QueueReply(session, reply);
}
