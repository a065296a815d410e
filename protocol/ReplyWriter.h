#pragma once

#include <cstdint>
#include <cstring>

#include "archive/bsMemWrite.h"

// The code and the status that lead every reply; a failure reply is nothing
// more than these.
inline void WriteReplyHead(bsMemWrite& reply, int32_t replyCode, int32_t status) {
    reply.Serialize(replyCode).Serialize(status);
}

// Transfers the bytes of a string or vector whose length went out before them.
// A storing archive only reads what it is given, whatever its signature says.
template <typename Bytes>
void SerializeRun(bsMemWrite& reply, const Bytes& bytes) {
    if (!bytes.empty())
        reply.SerializeBytes(const_cast<typename Bytes::value_type*>(bytes.data()), bytes.size());
}

// Fills in the status of a reply whose head was written before the status
// was known.
inline void SetReplyStatus(bsMemWrite& reply, int32_t status) {
    std::memcpy(reply.Buffer().data() + sizeof(int32_t), &status, sizeof status);
}
