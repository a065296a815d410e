#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace headset {

struct LatencySummary {
    double p50 = 0, p99 = 0, max = 0;
};

// Nearest-rank percentiles of the latencies, in their unit.
inline LatencySummary SummarizeLatencies(std::vector<double> latencies) {
    LatencySummary summary;
    if (latencies.empty())
        return summary;
    std::sort(latencies.begin(), latencies.end());
    const auto rank = [&](double percent) {
        const size_t index =
            static_cast<size_t>(std::ceil(percent / 100 * static_cast<double>(latencies.size())));
        return latencies[std::clamp<size_t>(index, 1, latencies.size()) - 1];
    };
    summary.p50 = rank(50);
    summary.p99 = rank(99);
    summary.max = latencies.back();
    return summary;
}

}  // namespace headset
