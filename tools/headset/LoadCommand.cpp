#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <future>
#include <sstream>

#include "tools/headset/Commands.h"
#include "tools/headset/LatencySummary.h"
#include "tools/headset/LoadClient.h"

namespace headset {
namespace {

constexpr const char* kName = "load";
// A run stops early on Ctrl-C, with the figures so far.
std::atomic<bool> stopRequested{false};

void RequestStop(int) {
    stopRequested.store(true);
}

std::vector<int32_t> ParseTitles(const std::string& text, CommandArguments& arguments) {
    std::vector<int32_t> titles;
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');) {
        const std::optional<int64_t> index = arguments.Integer("--title", item, 0, INT32_MAX);
        if (index)
            titles.push_back(static_cast<int32_t>(*index));
    }
    return titles;
}

struct RunTotals {
    std::vector<double> latencies;
    std::string lostServer;  // the first client's reason, when the server went
    double lostAfterSeconds = 0;
    uint64_t bytes = 0;
    uint64_t errors = 0;
    uint64_t seeks = 0;
    double worstLag = 0;
    size_t clientsBehind = 0;
    std::vector<std::string> errorTexts;
};

RunTotals AddUp(std::vector<LoadReport>& reports) {
    RunTotals totals;
    for (LoadReport& report : reports) {
        totals.latencies.insert(totals.latencies.end(), report.latenciesMs.begin(),
                                report.latenciesMs.end());
        totals.bytes += report.bytes;
        totals.errors += report.errorCount;
        totals.seeks += report.seeks;
        totals.worstLag = std::max(totals.worstLag, report.worstLagSeconds);
        if (report.worstLagSeconds > kBehindRealTimeSeconds)
            ++totals.clientsBehind;
        totals.errorTexts.insert(totals.errorTexts.end(), report.errors.begin(),
                                 report.errors.end());
        if (!report.lostServer.empty() &&
            (totals.lostServer.empty() || report.lostAfterSeconds < totals.lostAfterSeconds)) {
            totals.lostServer = report.lostServer;
            totals.lostAfterSeconds = report.lostAfterSeconds;
        }
    }
    return totals;
}

// Many clients meet the same failure, often many times: each text once,
// with how often it was kept, in the order first met.
void PrintErrors(const std::vector<std::string>& texts) {
    std::vector<std::pair<std::string, size_t>> distinct;
    for (const std::string& text : texts) {
        const auto seen = std::find_if(distinct.begin(), distinct.end(),
                                       [&text](const auto& entry) { return entry.first == text; });
        if (seen == distinct.end())
            distinct.emplace_back(text, 1);
        else
            ++seen->second;
    }
    for (const auto& [text, count] : distinct) {
        if (count == 1)
            std::printf("error: %s\n", text.c_str());
        else
            std::printf("error: %s (%zu times)\n", text.c_str(), count);
    }
}

void PrintTotals(const LoadSettings& settings, size_t clients, double seconds,
                 const RunTotals& totals) {
    const LatencySummary latency = SummarizeLatencies(totals.latencies);
    const double megabytes = static_cast<double>(totals.bytes) / 1e6;
    const double perClientMbit = seconds > 0 ? megabytes * 8 / seconds / clients : 0;
    if (settings.megabitsPerSecond)
        std::printf("clients %zu for %.1f s, %.1f Mbit/s each\n", clients, seconds,
                    *settings.megabitsPerSecond);
    else
        std::printf("clients %zu for %.1f s, as fast as possible\n", clients, seconds);
    std::printf("requests %zu, seeks %llu, errors %llu\n", totals.latencies.size(),
                static_cast<unsigned long long>(totals.seeks),
                static_cast<unsigned long long>(totals.errors));
    std::printf("latency per request: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", latency.p50,
                latency.p99, latency.max);
    std::printf("throughput: %.1f MB/s in all, %.1f Mbit/s per client\n",
                seconds > 0 ? megabytes / seconds : 0, perClientMbit);
    if (settings.megabitsPerSecond)
        std::printf("behind real time: %zu of %zu clients (worst lag %.2f s)\n",
                    totals.clientsBehind, clients, totals.worstLag);
    PrintErrors(totals.errorTexts);
    std::printf(
        "RESULT clients=%zu requests=%zu p50_ms=%.2f p99_ms=%.2f max_ms=%.2f "
        "mbit_per_client=%.1f behind=%zu errors=%llu\n",
        clients, totals.latencies.size(), latency.p50, latency.p99, latency.max, perClientMbit,
        totals.clientsBehind, static_cast<unsigned long long>(totals.errors));
    std::fflush(stdout);
}

}  // namespace

int RunLoad(CommandArguments& arguments) {
    LoadSettings settings;
    const auto clients = arguments.TakeInteger("--clients", 1, 1000).value_or(1);
    settings.seconds = arguments.TakeNumber("--seconds", 0.1, 86400).value_or(10);
    settings.megabitsPerSecond = arguments.TakeNumber("--rate", 0.001, 100000);
    settings.seekEverySeconds = arguments.TakeNumber("--seek-every", 0.1, 86400);
    const std::optional<std::string> titles = arguments.TakeValue("--title");
    if (titles)
        settings.titles = ParseTitles(*titles, arguments);
    const CommandArguments::ServerAddress server = arguments.ServerOnly();
    if (!arguments.Failed() && settings.titles.empty())
        return UsageError(kName, "--title needs at least one index");
    if (arguments.Failed())
        return UsageError(kName, arguments.Error());
    settings.host = server.host;
    settings.port = server.port;

    std::atomic<bool> serverGone{false};
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    std::vector<std::future<LoadReport>> running;
    for (int64_t i = 0; i < clients; ++i) {
        const int32_t title = settings.titles[static_cast<size_t>(i) % settings.titles.size()];
        running.push_back(std::async(std::launch::async, [&settings, &serverGone, title, i] {
            LoadClient client(settings, title, settings.seed + static_cast<uint32_t>(i));
            return client.Run(stopRequested, serverGone);
        }));
    }
    std::vector<LoadReport> reports;
    double seconds = 0;
    for (auto& client : running) {
        reports.push_back(client.get());
        seconds = std::max(seconds, reports.back().seconds);
    }
    const RunTotals totals = AddUp(reports);
    // A server that was never there leaves nothing to measure.
    if (!totals.lostServer.empty() && totals.latencies.empty())
        return Failure(kName, totals.lostServer);
    PrintTotals(settings, static_cast<size_t>(clients), seconds, totals);
    if (!totals.lostServer.empty()) {
        char after[32];
        std::snprintf(after, sizeof after, "%.1f s", totals.lostAfterSeconds);
        return Failure(kName, std::string("the server went away after ") + after +
                                  ", the figures above are up to then: " + totals.lostServer);
    }
    return totals.errors == 0 && !totals.latencies.empty() ? kExitSuccess : kExitFailure;
}

}  // namespace headset
