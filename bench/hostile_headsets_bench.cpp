// Fifteen players each pull a 1080p H.264 title at 40 Mbit/s beside two
// headsets that ask for a 64 MiB packaged range: one never reads, the other
// reads about 1 MB/s through a small receive buffer, as on weak Wi-Fi. The
// players' batch latencies are the figure: beside them, p99 under 20 ms and
// none behind real time. The run outlasts the 10 s after which the server
// gives up on the stalled headset.

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "BenchService.h"
#include "BenchVerdict.h"
#include "platform/WideText.h"
#include "protocol/ProtocolLimits.h"
#include "support/Bytes.h"
#include "support/PackagedMovieWriter.h"
#include "support/ProtocolClient.h"
#include "tools/headset/LatencySummary.h"
#include "tools/headset/LoadClient.h"

namespace {

constexpr int kPlayers = 15;
constexpr double kSeconds = 20;
constexpr double kMegabitsPerSecond = 40;
constexpr double kTargetP99Ms = 20;
constexpr int64_t kRangeBytes = 64 * 1048576;

// A packaged title whose data region is large but costs no disk space.
std::string MakeLargePackagedTitle(const std::string& path) {
    const std::vector<uint8_t> bytes = PackagedMovieBytes(PackagedMovieLayout{});
    WriteFileBytes(path, bytes);
    int32_t dataOffset = 0;
    std::memcpy(&dataOffset, bytes.data(), sizeof dataOffset);
    return truncate(path.c_str(), 8 + dataOffset + kRangeBytes) == 0 ? path : std::string{};
}

headset::HeadsetConnection AskForLargeRange() {
    headset::HeadsetConnection connection = protocol_client::ConnectWithTinyReceiveBuffer();
    const headset::ChunkRequest chunk{0, 0, 0, kRangeBytes};
    std::string error;
    (void)connection.Send(headset::FetchPackagedRequest(1, 0, {&chunk, 1}), error);
    return connection;
}

void ReadSlowly(int socket, const std::atomic<bool>& stop, std::atomic<uint64_t>& received) {
    // 2000 bytes every 2 ms at most: about 1 MB/s.
    std::vector<uint8_t> buffer(2000);
    while (!stop) {
        const ssize_t got = recv(socket, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (got == 0)
            return;
        if (got > 0)
            received += static_cast<uint64_t>(got);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace

int main() {
    const std::string media = ONDU_BENCH_MEDIA_DIR "/load-1080p-h264-40mbit.mp4";
    if (RunProgram({ONDU_LOAD_MEDIA_SCRIPT, media}, 600000).exitCode != 0) {
        std::fprintf(stderr, "hostile_headsets_bench: making the media failed\n");
        return 1;
    }
    const std::string packaged = MakeLargePackagedTitle(ONDU_BENCH_MEDIA_DIR "/large-range.vrm");
    if (packaged.empty())
        return 1;
    StartBenchService({platform::Utf8ToWide(media), platform::Utf8ToWide(packaged)});

    headset::HeadsetConnection stalled = AskForLargeRange();
    headset::HeadsetConnection slow = AskForLargeRange();
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> slowReceived{0};
    std::thread slowReader(ReadSlowly, slow.Descriptor(), std::cref(stop), std::ref(slowReceived));
    // Building the two 64 MiB replies in memory is work the others wait for
    // by design; the players start once it is done.
    std::this_thread::sleep_for(std::chrono::seconds(1));

    headset::LoadSettings settings;
    settings.host = "127.0.0.1";
    settings.port = 23107;
    settings.seconds = kSeconds;
    settings.megabitsPerSecond = kMegabitsPerSecond;
    std::vector<headset::LoadReport> reports(kPlayers);
    std::atomic<bool> serverGone{false};
    std::vector<std::thread> players;
    for (int i = 0; i < kPlayers; ++i) {
        players.emplace_back([&, i] {
            headset::LoadClient client(settings, 0, static_cast<uint32_t>(i + 1));
            reports[static_cast<size_t>(i)] = client.Run(stop, serverGone);
        });
    }
    for (std::thread& player : players)
        player.join();
    stop = true;
    slowReader.join();
    StopBenchService();

    std::vector<double> latencies;
    size_t behind = 0;
    uint64_t errors = 0;
    for (const headset::LoadReport& report : reports) {
        latencies.insert(latencies.end(), report.latenciesMs.begin(), report.latenciesMs.end());
        behind += report.worstLagSeconds > headset::kBehindRealTimeSeconds ? 1 : 0;
        errors += report.errorCount;
    }
    const headset::LatencySummary summary = headset::SummarizeLatencies(latencies);
    std::printf("%d players at %.0f Mbit/s for %.0f s beside a stalled and a slow headset\n",
                kPlayers, kMegabitsPerSecond, kSeconds);
    std::printf(
        "batches %zu: p50 %.2f ms, p99 %.2f ms, max %.2f ms; %zu behind real time, "
        "%llu errors\n",
        latencies.size(), summary.p50, summary.p99, summary.max, behind,
        static_cast<unsigned long long>(errors));
    std::printf("slow headset read %.1f MB; p99 / target = %.2f\n",
                static_cast<double>(slowReceived.load()) / 1e6, summary.p99 / kTargetP99Ms);
    PrintVerdict("hostile_headsets_bench",
                 "p99 " + Figure(summary.p99, 2) + " ms, " + std::to_string(behind) + " behind",
                 "p99 < " + Figure(kTargetP99Ms, 0) + " ms, none behind",
                 summary.p99 < kTargetP99Ms && behind == 0 && errors == 0);
    return 0;
}
