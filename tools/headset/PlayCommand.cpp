#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "protocol/RequestCodes.h"
#include "protocol/ServiceConstants.h"
#include "tools/headset/Commands.h"
#include "tools/headset/HeadsetExchanges.h"
#include "tools/headset/MatroskaRemuxer.h"
#include "tools/headset/ProgressLine.h"

namespace headset {
namespace {

constexpr const char* kName = "play";

std::string MediaTime(int64_t microseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(microseconds) / 1e6);
    return text;
}

// Opens the title the way a headset does: name first, then the file itself.
std::string OpenTitle(HeadsetConnection& connection, int32_t index, OpenedMedia& media) {
    TitleDescription title;
    std::string error = DescribeTitle(connection, index, title);
    if (!error.empty())
        return error;
    if (title.status == 2)
        return "the server has no title " + std::to_string(index);
    if (title.status == kStatusSuccess && IsPackagedTitle(title.title))
        return "title " + std::to_string(index) + " is a packaged movie; use fetch";
    error = OpenMedia(connection, index, media);
    if (!error.empty())
        return error;
    if (media.status != kStatusSuccess)
        return "cannot open title " + std::to_string(index) + ": " +
               StatusMeaning(kOpenMediaTitleRequest, media.status);
    return {};
}

struct PlayTotals {
    uint64_t batches = 0;
    uint64_t bytes = 0;
    int64_t position = 0;
};

std::string PullToEnd(HeadsetConnection& connection, BatchRequest request, MatroskaRemuxer& remuxer,
                      PlayTotals& totals) {
    ProgressLine progress(kName);
    for (;;) {
        PacketBatch batch;
        const std::string error = FetchBatch(connection, request, batch);
        request.seekWanted = 0;
        if (!error.empty())
            return "batch " + std::to_string(totals.batches + 1) + ": " + error;
        if (batch.status == 2)
            return StatusMeaning(kFetchPacketBatchRequest, batch.status);
        ++totals.batches;
        totals.bytes += batch.payload.size();
        for (const PacketRecord& packet : batch.packets) {
            const std::string failure = remuxer.Write(batch, packet);
            if (!failure.empty())
                return failure;
            const bool timesPlay =
                packet.streamIndex == request.videoIndex || request.videoIndex < 0;
            if (timesPlay && IsRealTimeStamp(packet.pts))
                totals.position = std::max(totals.position, packet.pts);
        }
        progress.Update(MediaTime(totals.position), totals.bytes, totals.batches);
        if (batch.status == 1) {
            progress.Finish(MediaTime(totals.position));
            return {};
        }
    }
}

}  // namespace

int RunPlay(CommandArguments& arguments) {
    const std::optional<std::string> out = arguments.TakeValue("--out");
    const std::optional<double> seek = arguments.TakeNumber("--seek", 0, 1e9);
    const auto [server, index] = arguments.HostAndTitle();
    if (!arguments.Failed() && !out)
        return UsageError(kName, "--out FILE.mkv is required");
    if (arguments.Failed())
        return UsageError(kName, arguments.Error());

    std::string error;
    std::optional<HeadsetConnection> connection =
        HeadsetConnection::Open(server.host, server.port, 15000, error);
    if (!connection)
        return Failure(kName, error);
    OpenedMedia media;
    error = OpenTitle(*connection, index, media);
    if (!error.empty())
        return Failure(kName, error);
    // A seek to the end or beyond leaves nothing to play: say so rather than
    // write a file without packets.
    const int64_t seekMicroseconds = static_cast<int64_t>(seek.value_or(0) * 1e6);
    if (seek && media.duration > 0 && seekMicroseconds >= media.duration)
        return Failure(kName, "--seek " + MediaTime(seekMicroseconds) +
                                  " is past the end of title " + std::to_string(index) +
                                  ", which lasts " + MediaTime(media.duration));

    MatroskaRemuxer remuxer;
    error = remuxer.Open(*out, media);
    for (const std::string& warning : remuxer.Warnings())
        std::fprintf(stderr, "ondu-headset play: %s\n", warning.c_str());
    if (!error.empty())
        return Failure(kName, error);

    BatchRequest request;
    request.videoIndex = media.videoIndex;
    request.audioIndex = media.audioIndex;
    request.subtitleIndex = media.subtitleIndex;
    request.seekWanted = seek.has_value() ? 1 : 0;
    request.seekMicroseconds = static_cast<uint64_t>(seekMicroseconds);
    PlayTotals totals;
    error = PullToEnd(*connection, request, remuxer, totals);
    const std::string closed = remuxer.Close();
    // A title of unknown length can still end before the seek.
    if (error.empty() && closed.empty() && seek && remuxer.PacketsWritten() == 0) {
        std::error_code ignored;
        std::filesystem::remove(*out, ignored);
        return Failure(kName, "--seek " + MediaTime(seekMicroseconds) +
                                  " is past the end of title " + std::to_string(index) +
                                  ": the server sent no packets after it");
    }
    if (!error.empty() || !closed.empty())
        return Failure(kName, error.empty() ? closed : error);
    std::printf(
        "played title %lld to the end: %llu batches, %lld packets, %.1f MB, written to %s\n",
        static_cast<long long>(index), static_cast<unsigned long long>(totals.batches),
        static_cast<long long>(remuxer.PacketsWritten()), static_cast<double>(totals.bytes) / 1e6,
        out->c_str());
    return kExitSuccess;
}

}  // namespace headset
