#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/FfmpegHandles.h"

// What the headset's hardware decoder must be configured with before the
// first packet of an ordinary media title's video stream arrives, and the
// Annex-B filter through which that stream's H.264 or HEVC packets pass.
//
// It borrows the session's format context and owns only its filters, which
// Reset and the destructor free. A session closes the format context before
// its preparation goes, by declaring the context after it.
class StreamPreparation {
public:
    StreamPreparation();
    StreamPreparation(const StreamPreparation&) = delete;
    StreamPreparation& operator=(const StreamPreparation&) = delete;

    // Frees the filters, forgets the borrowed contexts and returns every
    // value to its initial state.
    void Reset();

    // Fills the decoder configuration from stream `streamIndex` of
    // `formatContext`, which must have been through avformat_find_stream_info.
    // False, with nothing changed, when there is no format context or no such
    // stream; false, with only the two known flags set, when the codec is not
    // H.264, HEVC, VP8 or VP9.
    bool Prepare(int32_t streamIndex);

    // Borrows `context`, prepares its stream `video` and names the three
    // streams a batch carries. A video stream that cannot be prepared is
    // still carried, unfiltered.
    void PrepareStreams(AVFormatContext* context, int32_t video, int32_t audio, int32_t subtitle);

    // The six flags as the open-media reply carries them: bit 0 profile known,
    // bit 1 level known, bit 2 spare flag A, bit 3 spare flag B, bit 4 has
    // csd-0, bit 5 has csd-1.
    uint32_t FlagBits() const;

    // The filter the video packets go through: the H.264 filter if there is
    // one, otherwise the HEVC filter; null when packets go unfiltered.
    AVBSFContext* AnnexBFilter() const { return h264Filter ? h264Filter.get() : hevcFilter.get(); }

    // "video/avc", "video/hevc", "video/x-vnd.on2.vp8" or
    // "video/x-vnd.on2.vp9"; empty until prepared or when refused.
    std::string mimeType;
    int32_t videoStreamIndex = -1;
    int32_t audioStreamIndex = -1;
    int32_t subtitleStreamIndex = -1;
    bool profileKnown = false;
    bool levelKnown = false;
    bool spareFlagA = false;
    bool spareFlagB = false;
    bool hasCsd0 = false;
    bool hasCsd1 = false;
    // Annex-B codec-specific data. H.264: csd0 the sequence parameter sets,
    // csd1 the picture parameter sets. HEVC: csd0 the parameter sets and SEI
    // of the configuration record, csd1 empty. Empty for VP8 and VP9.
    std::vector<uint8_t> csd0;
    std::vector<uint8_t> csd1;
    int32_t profile = 0;
    int32_t level = 0;
    // Whole frames per second, rounded.
    int32_t frameRate = 0;
    // The format context's duration in microseconds, as FFmpeg reports it
    // (AV_NOPTS_VALUE included).
    int64_t duration = 0;
    int32_t spareValueA = 0;
    int32_t spareValueB = 0;
    // Borrowed: the open file. Its owner closes it.
    AVFormatContext* formatContext = nullptr;
    // Owned: "h264_mp4toannexb" for an H.264 stream and "hevc_mp4toannexb"
    // for an HEVC stream; null otherwise or when the filter could not be
    // created. Set up from the stream's codec parameters, which they copy.
    BsfContextPtr h264Filter;
    BsfContextPtr hevcFilter;

private:
    AVStream* FindStream(int32_t streamIndex) const;
    void DiscardPreparation();
};
