// One headset pulls a 60 s 1080p H.264 + AAC title as fast as it can. The
// pieces of replies on one connection go at least 1 ms apart, so 1 ms per
// batch is the design's floor; the figures are given against it, and the
// whole pull against the ffmpeg tool's own Annex-B copy of the same file.

#include "BenchService.h"
#include "BenchVerdict.h"
#include "platform/PathBytes.h"
#include "support/TestMedia.h"

namespace {

constexpr double kFloorBatchesPerSecond = 1000;
constexpr double kTargetRatio = 0.8;  // of the floor

}  // namespace

int main() {
    const auto media =
        MakeTestMedia("bench-60s-1080p.mp4",
                      {"-f", "lavfi", "-i", "testsrc2=s=1920x1080:d=60:r=30", "-f", "lavfi", "-i",
                       "sine=d=60:r=48000", "-c:v", "libx264", "-preset", "ultrafast", "-b:v", "8M",
                       "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest"});
    if (media.empty()) {
        std::fprintf(stderr, "cannot make the benchmark clip with ffmpeg\n");
        return 1;
    }
    StartBenchService({platform::PathFromOsBytes(media.string())});
    std::optional<headset::HeadsetConnection> client = ConnectBenchHeadset();
    headset::OpenedMedia opened;
    if (!client || !headset::OpenMedia(*client, 0, opened).empty() || opened.status != 0)
        return 1;

    const headset::BatchRequest request{.videoIndex = opened.videoIndex,
                                        .audioIndex = opened.audioIndex};
    uint64_t batches = 0, bytes = 0, multiPiece = 0;
    const double cpuBefore = WorkerCpuSeconds();
    const auto start = BenchClock::now();
    while (true) {
        headset::PacketBatch batch;
        if (!headset::FetchBatch(*client, request, batch).empty())
            return 1;
        ++batches;
        bytes += batch.payload.size() + 4;
        if (batch.payload.size() + 4 > 400000)
            ++multiPiece;
        if (batch.status != 0)
            break;
    }
    const double seconds = SecondsSince(start);
    const double cpu = WorkerCpuSeconds() - cpuBefore;
    StopBenchService();

    const double reference =
        TimeProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", media.string(), "-map", "0", "-c",
                     "copy", "-bsf:v", "h264_mp4toannexb", "-f", "null", "-"});
    const double rate = static_cast<double>(batches) / seconds;
    std::printf("packet batches: %llu in %.2f s (%llu of more than one piece)\n",
                static_cast<unsigned long long>(batches), seconds,
                static_cast<unsigned long long>(multiPiece));
    std::printf("batches per second:     %8.1f  (floor %.0f, ratio %.3f, target >= %.1f)\n", rate,
                kFloorBatchesPerSecond, rate / kFloorBatchesPerSecond, kTargetRatio);
    std::printf("time per batch:         %8.3f ms (%.2f x the 1 ms pacing)\n", 1000.0 / rate,
                1000.0 / rate);
    std::printf("throughput:             %8.1f MB/s, worker CPU %.2f s\n",
                static_cast<double>(bytes) / seconds / 1e6, cpu);
    if (reference > 0) {
        std::printf("ffmpeg -c copy -bsf:v h264_mp4toannexb: %.2f s; pull / ffmpeg = %.2f\n",
                    reference, seconds / reference);
    }
    PrintVerdict("packet_stream_bench", Figure(rate, 1) + " batches/s",
                 ">= " + Figure(kTargetRatio * kFloorBatchesPerSecond, 0) + " batches/s (" +
                     Figure(kTargetRatio, 1) + " x the 1 ms floor)",
                 rate >= kTargetRatio * kFloorBatchesPerSecond);
    return 0;
}
