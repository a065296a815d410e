#pragma once

#include <cstdint>
#include <vector>

#include "archive/bsMemWrite.h"
#include "service/ClientSession.h"
#include "service/SendReply.h"

// Sends what a handler wrote into `reply` on the session's socket.
inline void SendReplyTo(ClientSession& session, bsMemWrite& reply) {
    SendReply(session.socket.Descriptor(), reply.Buffer(), session.stopFlag);
}

// A reply that carries only its code and a status.
inline void SendStatusReply(ClientSession& session, int32_t replyCode, int32_t status) {
    bsMemWrite reply;
    reply.Serialize(replyCode).Serialize(status);
    SendReplyTo(session, reply);
}

// Transfers the bytes of a string or vector whose length went out before them.
template <typename Bytes>
void SerializeRun(bsMemWrite& reply, Bytes& bytes) {
    if (!bytes.empty())
        reply.SerializeBytes(bytes.data(), bytes.size());
}
