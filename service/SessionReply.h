#pragma once

#include <cstdint>

#include "archive/bsMemWrite.h"
#include "protocol/ReplyWriter.h"
#include "service/ClientSession.h"
#include "service/SendReply.h"

// Sends what a handler wrote into `reply` on the session's socket.
inline void SendReplyTo(ClientSession& session, bsMemWrite& reply) {
    SendReply(session.socket.Descriptor(), reply.Buffer(), session.stopFlag);
    session.activity.bytesSent += sizeof(uint32_t) + reply.Buffer().size();
}

// A reply that carries only its code and a status.
inline void SendStatusReply(ClientSession& session, int32_t replyCode, int32_t status) {
    bsMemWrite reply;
    WriteReplyHead(reply, replyCode, status);
    SendReplyTo(session, reply);
}
