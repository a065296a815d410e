#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace headset {

// Decoding times for pictures whose demultiplexer left them unset
// (Matroska sources do for the first pictures): each one is the earliest
// presentation time among the last few pictures, which keeps them rising
// and never after their picture's presentation as long as the stream holds
// back no more pictures than the allowance.
class DecodeTimeline {
public:
    static constexpr size_t kReorderAllowance = 8;

    int64_t Next(int64_t pts, int64_t duration) {
        if (!filled_) {
            // Pictures before the first one, as if the stream had been
            // running at its frame duration.
            for (size_t i = 0; i < window_.size(); ++i)
                window_[i] = pts - static_cast<int64_t>(window_.size() - i) * duration;
            filled_ = true;
        }
        window_[0] = pts;
        for (size_t i = 0; i + 1 < window_.size() && window_[i] > window_[i + 1]; ++i)
            std::swap(window_[i], window_[i + 1]);
        return window_[0];
    }

private:
    std::array<int64_t, kReorderAllowance + 1> window_{};
    bool filled_ = false;
};

}  // namespace headset
