#include "streaming/PackagedReads.h"

#include <algorithm>

namespace streaming {

// The reader refuses a seek past its end and keeps its old position, so a
// range that starts there is not read at all: it would deliver bytes from
// wherever an earlier read left off.
void ReadFileBytes(bs100MMemRead& reader, uint64_t offset, void* target, uint64_t count,
                   const std::atomic<bool>* stop) {
    auto* bytes = static_cast<uint8_t*>(target);
    const auto step = static_cast<uint64_t>(reader.BlockSize());
    for (uint64_t done = 0; done < count && offset + done < reader.Size(); done += step) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed))
            return;
        reader.Seek(static_cast<int64_t>(offset + done), 0);
        reader.SerializeBytes(bytes + done, std::min(step, count - done));
    }
}

std::vector<uint8_t> FileBytes(bs100MMemRead& reader, uint64_t offset, int64_t count,
                               const std::atomic<bool>* stop) {
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(count, 0)), 0);
    ReadFileBytes(reader, offset, bytes.data(), bytes.size(), stop);
    return bytes;
}

}  // namespace streaming
