#pragma once

#include <cstdint>

#include "archive/bsMemWrite.h"
#include "protocol/ReplyWriter.h"
#include "service/ClientSession.h"

// Queues what a handler wrote into `reply` on the session.
inline void QueueReply(ClientSession& session, bsMemWrite& reply) {
    QueueReply(session, std::move(reply.Buffer()));
}

// A reply that carries only its code and a status.
inline void QueueStatusReply(ClientSession& session, int32_t replyCode, int32_t status) {
    bsMemWrite reply;
    WriteReplyHead(reply, replyCode, status);
    QueueReply(session, reply);
}
