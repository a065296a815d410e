// One headset fetches a 1 GiB data region of a packaged movie in 1 MiB
// ranges. A connection gets at most 400000 bytes per 1 ms of its pacing, the
// floor of 400 MB/s; the figures are given against it, with the worker's CPU time.

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "BenchService.h"
#include "BenchVerdict.h"
#include "platform/PathBytes.h"
#include "support/PackagedMovieWriter.h"

namespace {

constexpr int64_t kMiB = 1048576;
constexpr int64_t kDataBytes = 1024 * kMiB;
constexpr double kFloorMegabytesPerSecond = 400;
constexpr double kTargetRatio = 0.8;  // of the floor

std::string MakePackagedFile() {
    const std::string path =
        (std::filesystem::temp_directory_path() / "ondu-bench-1g.vrm").string();
    PackagedMovieLayout layout;
    layout.records = std::vector<uint8_t>(24 * 100, 1);
    WriteFileBytes(path, PackagedMovieBytes(layout));
    // Real bytes rather than a hole, so the kernel copies as it would for a film.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    std::vector<uint8_t> chunk = PatternBytes(kMiB, 3);
    for (int64_t written = 0; fd >= 0 && written < kDataBytes; written += kMiB) {
        if (write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size()))
            break;
    }
    if (fd >= 0)
        ::close(fd);
    return path;
}

// Past the title's 100 records: the reply carries the chunk only.
std::vector<uint8_t> FetchRequest(int64_t start, int64_t end) {
    const headset::ChunkRequest chunk{1, 1, start, end};
    return headset::FetchPackagedRequest(0, 100, {&chunk, 1});
}

}  // namespace

int main() {
    const std::string path = MakePackagedFile();
    StartBenchService({platform::PathFromOsBytes(path)});
    std::optional<headset::HeadsetConnection> client = ConnectBenchHeadset();
    std::vector<uint8_t> reply;
    headset::OpenedPackage opened;
    if (!client || !headset::OpenPackaged(*client, 0, reply, opened).empty())
        return 1;

    // The replies are counted, not taken apart, so that only the server's
    // work is measured.
    uint64_t bytes = 0;
    std::string error;
    const double cpuBefore = WorkerCpuSeconds();
    const auto start = BenchClock::now();
    for (int64_t offset = 0; offset < kDataBytes; offset += kMiB) {
        if (!client->Exchange(FetchRequest(offset, offset + kMiB), reply, error))
            return 1;
        bytes += reply.size() + 4;
    }
    const double seconds = SecondsSince(start);
    const double cpu = WorkerCpuSeconds() - cpuBefore;
    StopBenchService();
    std::filesystem::remove(path);

    const double rate = static_cast<double>(bytes) / seconds / 1e6;
    std::printf("packaged data: %.0f MiB in %.2f s\n", static_cast<double>(bytes) / kMiB, seconds);
    std::printf("throughput:        %8.1f MB/s (floor %.0f MB/s, ratio %.3f, target >= %.1f)\n",
                rate, kFloorMegabytesPerSecond, rate / kFloorMegabytesPerSecond, kTargetRatio);
    std::printf("worker CPU:        %8.2f s per GB served\n",
                cpu / (static_cast<double>(bytes) / 1e9));
    PrintVerdict("packaged_data_bench", Figure(rate, 1) + " MB/s",
                 ">= " + Figure(kTargetRatio * kFloorMegabytesPerSecond, 0) + " MB/s (" +
                     Figure(kTargetRatio, 1) + " x the 400000 bytes per 1 ms floor)",
                 rate >= kTargetRatio * kFloorMegabytesPerSecond);
    return 0;
}
