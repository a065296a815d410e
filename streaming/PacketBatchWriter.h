#pragma once

#include <cstdint>

#include "archive/bsMemWrite.h"
#include "platform/FfmpegHandles.h"

namespace streaming {

// The streams whose packets a batch keeps; -1 keeps none of that kind.
struct BatchStreams {
    int32_t video = -1;
    int32_t audio = -1;
    int32_t subtitle = -1;
};

// How a batch ended: by its budget, or by the end of the media. `readError`
// is what the read that ended the media returned; 0 when the budget ended it.
struct BatchEnd {
    bool endOfMedia = false;
    int readError = 0;
    int32_t records = 0;
};

// Seeks to `microseconds` on the default stream. After a seek the Annex-B
// filter's state belongs to the packets before it, so the filter is flushed.
void SeekMedia(AVFormatContext& format, AVBSFContext* filter, uint64_t microseconds);

// Writes the records of the next batch of packets into `reply`, and counts
// them in the result: the packets of the wanted streams, the video through `filter`
// when there is one, with times in microseconds. Before the first video
// packet a batch gathers up to 2 MiB, after it about one video packet, and
// it never reads more than 32 MiB or 32768 packets of the file.
BatchEnd WritePacketBatch(bsMemWrite& reply, AVFormatContext& format, AVBSFContext* filter,
                          const BatchStreams& wanted);

}  // namespace streaming
