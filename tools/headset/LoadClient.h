#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tools/headset/HeadsetConnection.h"
#include "tools/headset/HeadsetReplies.h"
#include "tools/headset/HeadsetRequests.h"

namespace headset {

// A client that lags more than this has let its player's buffer run dry:
// it fell behind real time.
constexpr double kBehindRealTimeSeconds = 0.1;

struct LoadSettings {
    std::string host;
    uint16_t port = 0;
    std::vector<int32_t> titles{0};  // handed out to the clients in turn
    double seconds = 10;
    std::optional<double> megabitsPerSecond;  // none: as fast as the server goes
    std::optional<double> seekEverySeconds;
    uint32_t seed = 1;
};

// What one simulated headset saw.
struct LoadReport {
    std::vector<double> latenciesMs;  // one per request, reply read to the end
    uint64_t bytes = 0;
    double seconds = 0;
    double worstLagSeconds = 0;  // how far it fell behind its rate, at worst
    uint64_t seeks = 0;
    uint64_t errorCount = 0;
    std::vector<std::string> errors;  // the first ones, word for word
    // Why this headset stopped before its time: no server could be reached
    // any more. Empty when it played to the end.
    std::string lostServer;
    double lostAfterSeconds = 0;  // since the run began
};

// A headset that plays one title for a while: an ordinary media title by
// packet batches, a packaged movie by its data ranges. With a rate it asks
// for no more than that rate allows plus one second of lead, the way a
// player fills its buffer; it starts again from the beginning at the end of
// the title and reconnects after an error. When a connection is refused or
// the host cannot be reached, the server is gone and every client stops.
class LoadClient {
public:
    LoadClient(const LoadSettings& settings, int32_t title, uint32_t seed);

    // Plays until the run's time is over; `stop` ends it early. Sets
    // `serverGone` when it finds the server gone, and stops when another
    // client did.
    LoadReport Run(const std::atomic<bool>& stop, std::atomic<bool>& serverGone);

private:
    using Clock = std::chrono::steady_clock;

    bool Connect();
    std::string OpenMediaTitle();
    std::string OpenPackagedTitle();
    bool PullBatch();
    bool PullChunks();
    bool Stopping() const { return stop_->load() || serverGone_->load(); }
    void WaitForRate();
    void NoteLag();
    bool SeekIsDue();
    bool Exchange(const std::vector<uint8_t>& request, std::vector<uint8_t>& payload);
    void Fail(const std::string& error);
    double Elapsed() const;
    double PlayedSeconds() const;
    double RateBytesPerSecond() const;

    const LoadSettings& settings_;
    const std::atomic<bool>* stop_ = nullptr;
    std::atomic<bool>* serverGone_ = nullptr;
    const int32_t title_;
    std::mt19937 random_;
    LoadReport report_;
    Clock::time_point start_;
    std::optional<Clock::time_point> playStart_;
    Clock::time_point nextSeek_;
    std::optional<HeadsetConnection> connection_;
    bool packaged_ = false;
    // Ordinary media.
    BatchRequest batch_;
    int64_t duration_ = 0;
    int64_t position_ = 0;  // media time reached, microseconds
    // Packaged movies: the data ranges its records name, and the next one.
    std::vector<ChunkRequest> ranges_;
    size_t nextRange_ = 0;
};

}  // namespace headset
