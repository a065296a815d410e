#include "streaming/PackagedReads.h"

namespace streaming {

// The reader refuses a seek past its end and keeps its old position, so a
// range that starts there is not read at all: it would deliver bytes from
// wherever an earlier read left off.
void ReadFileBytes(bs100MMemRead& reader, uint64_t offset, void* target, uint64_t count) {
    if (count == 0 || offset >= reader.Size())
        return;
    reader.Seek(static_cast<int64_t>(offset), 0);
    reader.SerializeBytes(target, count);
}

void AppendFileBytes(bsMemWrite& reply, bs100MMemRead& reader, uint64_t offset, int64_t count) {
    if (count <= 0)
        return;
    uint8_t* target = reply.Extend(static_cast<uint64_t>(count));
    ReadFileBytes(reader, offset, target, static_cast<uint64_t>(count));
}

}  // namespace streaming
