#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/headset/DecodeTimeline.h"
#include "tools/headset/HeadsetReplies.h"

struct AVFormatContext;

namespace headset {

// Writes what a headset receives for an ordinary media title into a Matroska
// file, stream for stream and packet for packet, without decoding anything.
// The video stream is set up from the MIME type with csd-0 and csd-1 as its
// extradata, the audio and subtitle streams from the open reply.
class MatroskaRemuxer {
public:
    MatroskaRemuxer();
    ~MatroskaRemuxer();
    MatroskaRemuxer(const MatroskaRemuxer&) = delete;
    MatroskaRemuxer& operator=(const MatroskaRemuxer&) = delete;

    // Creates the file and its streams; empty on success, else the reason.
    std::string Open(const std::string& path, const OpenedMedia& media);
    // Writes one packet of a batch; packets of streams not written are dropped.
    std::string Write(const PacketBatch& batch, const PacketRecord& packet);
    // Finishes the file.
    std::string Close();

    // Streams left out of the file and why.
    const std::vector<std::string>& Warnings() const { return warnings_; }
    int64_t PacketsWritten() const { return packetsWritten_; }

private:
    struct OutputCloser {
        void operator()(AVFormatContext* context) const;
    };

    bool AddVideo(const OpenedMedia& media);
    bool AddAudio(const OpenedMedia& media);
    bool AddSubtitle(const OpenedMedia& media);

    std::unique_ptr<AVFormatContext, OutputCloser> output_;
    std::map<int32_t, int> outputStreamFor_;  // server stream index to file stream
    int32_t videoStream_ = -1;
    DecodeTimeline videoDecodeTimes_;
    int32_t audioStream_ = -1;
    bool audioIsAac_ = false;
    bool headerWritten_ = false;
    int64_t packetsWritten_ = 0;
    std::vector<std::string> warnings_;
};

}  // namespace headset
