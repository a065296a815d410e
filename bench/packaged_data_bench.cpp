// Headsets fetching a 1 GiB data region of a packaged movie in 1 MiB ranges.
// A connection gets at most 400000 bytes per 1 ms of its pacing, so a 1 MiB
// reply takes three paced pieces: the pace the design allows is measured on
// this machine, from how long the loop's 1 ms waits really take, and one
// headset is given against it, with the processor time the service spent
// per GB. Then four headsets fetch at once and their total is reported.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <future>

#include "BenchService.h"
#include "BenchVerdict.h"
#include "platform/PathBytes.h"
#include "platform/Sleep.h"
#include "protocol/ReplyFrame.h"
#include "support/PackagedMovieWriter.h"

namespace {

constexpr int64_t kMiB = 1048576;
constexpr int64_t kDataBytes = 1024 * kMiB;
constexpr int64_t kRangeBytes = kMiB;
constexpr int kFourHeadsets = 4;
constexpr double kTargetRatio = 0.95;  // of the pace the design allows
constexpr size_t kMaxPiece = 400000;

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

// How long a wait of 1 ms takes here, as the loop waits for a piece to fall due.
double PacedMillisecond() {
    platform::UsePreciseSleeps();
    constexpr int kWaits = 500;
    const timespec oneMillisecond{0, 1000000};
    const auto start = BenchClock::now();
    for (int i = 0; i < kWaits; ++i)
        (void)ppoll(nullptr, 0, &oneMillisecond, nullptr);
    return SecondsSince(start) / kWaits;
}

// A reply of one range, framed, and the paced pieces it goes out in; the next
// reply's first piece waits a whole interval after its last.
struct ReplyShape {
    double bytes;
    double pieces;
};

ReplyShape RangeReply() {
    const size_t payload = 12 + 12 + kRangeBytes + 8;
    const size_t framed = payload + ReplyPaddingFor(payload);
    return {static_cast<double>(framed + 4),
            static_cast<double>((framed + kMaxPiece - 1) / kMaxPiece)};
}

// Processor time of the whole process but the calling thread, which plays
// the headset: the service's loop, media threads and loaders.
double ServiceCpuSeconds() {
    timespec process{};
    timespec self{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &process);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &self);
    auto seconds = [](const timespec& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    };
    return seconds(process) - seconds(self);
}

// Fetches `bytes` of the data region from `offset` on, wrapping at its end;
// the bytes the replies carried, or nothing on a failure.
std::optional<uint64_t> FetchRanges(int64_t offset, int64_t bytes) {
    std::optional<headset::HeadsetConnection> client = ConnectBenchHeadset();
    std::vector<uint8_t> reply;
    headset::OpenedPackage opened;
    if (!client || !headset::OpenPackaged(*client, 0, reply, opened).empty())
        return std::nullopt;
    // The replies are counted, not taken apart, so that only the server's
    // work is measured.
    uint64_t received = 0;
    std::string error;
    for (int64_t done = 0; done < bytes; done += kRangeBytes) {
        const int64_t start = (offset + done) % kDataBytes;
        if (!client->Exchange(FetchRequest(start, start + kRangeBytes), reply, error))
            return std::nullopt;
        received += reply.size() + 4;
    }
    return received;
}

}  // namespace

int main() {
    const std::string path = MakePackagedFile();
    StartBenchService({platform::PathFromOsBytes(path)});

    const double cpuBefore = ServiceCpuSeconds();
    const auto start = BenchClock::now();
    const std::optional<uint64_t> one = FetchRanges(0, kDataBytes);
    const double seconds = SecondsSince(start);
    const double cpu = ServiceCpuSeconds() - cpuBefore;

    const auto fourStart = BenchClock::now();
    std::vector<std::future<std::optional<uint64_t>>> headsets;
    for (int i = 0; i < kFourHeadsets; ++i) {
        headsets.push_back(
            std::async(std::launch::async, FetchRanges, i * kDataBytes / 4, kDataBytes / 2));
    }
    uint64_t fourBytes = 0;
    bool fourFailed = false;
    for (auto& headset : headsets) {
        const std::optional<uint64_t> received = headset.get();
        fourFailed |= !received;
        fourBytes += received.value_or(0);
    }
    const double fourSeconds = SecondsSince(fourStart);
    StopBenchService();
    std::filesystem::remove(path);
    if (!one || fourFailed)
        return 1;

    const double interval = PacedMillisecond();
    const ReplyShape shape = RangeReply();
    const double designPace = shape.bytes / (shape.pieces * interval) / 1e6;
    const double rate = static_cast<double>(*one) / seconds / 1e6;
    const double ratio = rate / designPace;
    std::printf("one headset: %.0f MiB in %.2f s\n", static_cast<double>(*one) / kMiB, seconds);
    std::printf("design pace: %8.1f MB/s (%.0f pieces a reply, a 1 ms wait takes %.3f ms)\n",
                designPace, shape.pieces, interval * 1e3);
    std::printf("throughput:  %8.1f MB/s (ratio %.3f to the design pace, target >= %.2f)\n", rate,
                ratio, kTargetRatio);
    std::printf("service CPU: %8.2f s per GB served\n", cpu / (static_cast<double>(*one) / 1e9));
    std::printf("%d headsets at once: %.1f MB/s in all (%.1f each)\n", kFourHeadsets,
                static_cast<double>(fourBytes) / fourSeconds / 1e6,
                static_cast<double>(fourBytes) / fourSeconds / 1e6 / kFourHeadsets);
    PrintVerdict("packaged_data_bench", Figure(rate, 1) + " MB/s, " + Figure(ratio, 3) + " x",
                 ">= " + Figure(kTargetRatio, 2) + " x the design pace (" + Figure(designPace, 0) +
                     " MB/s here)",
                 ratio >= kTargetRatio);
    return 0;
}
