#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace headset {

// A line on standard error that says how far a transfer has come, rewritten
// in place a few times a second.
class ProgressLine {
public:
    explicit ProgressLine(std::string what) : what_(std::move(what)) {}

    // `position` is the media time reached or the bytes fetched, as text.
    void Update(const std::string& position, uint64_t bytes, uint64_t requests) {
        bytes_ = bytes;
        requests_ = requests;
        const auto now = Clock::now();
        if (now - lastPrinted_ < std::chrono::milliseconds(250))
            return;
        lastPrinted_ = now;
        Print(position, now);
    }

    void Finish(const std::string& position) {
        Print(position, Clock::now());
        std::fputc('\n', stderr);
    }

private:
    using Clock = std::chrono::steady_clock;

    void Print(const std::string& position, Clock::time_point now) {
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double rate = seconds > 0 ? static_cast<double>(bytes_) / 1e6 / seconds : 0;
        const double perSecond = seconds > 0 ? static_cast<double>(requests_) / seconds : 0;
        std::fprintf(stderr, "\r%s %s  %.1f MB/s  %.0f %s/s   ", what_.c_str(), position.c_str(),
                     rate, perSecond, what_ == "play" ? "batches" : "requests");
        std::fflush(stderr);
    }

    std::string what_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastPrinted_{};
    uint64_t bytes_ = 0;
    uint64_t requests_ = 0;
};

}  // namespace headset
