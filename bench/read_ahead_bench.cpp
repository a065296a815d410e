// Sequential reading of a large packaged movie through the read-ahead reader,
// against plain fread of the same 1 MiB ranges from the same warm file.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchVerdict.h"
#include "archive/bs100MMemRead.h"
#include "platform/PathBytes.h"

namespace {

constexpr size_t kMiB = 1048576;
constexpr double kTargetRatio = 0.8;  // of plain fread's throughput
constexpr size_t kFileSize = 512 * kMiB;

std::string& BenchFilePath() {
    static std::string path;
    return path;
}

bool MakeBenchFile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ondu-bench-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0)
        return false;
    BenchFilePath() = name.data();
    std::vector<uint8_t> chunk(kMiB);
    for (size_t mib = 0; mib < kFileSize / kMiB; ++mib) {
        for (size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = static_cast<uint8_t>(i * 31 + mib);
        if (write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) {
            close(fd);
            return false;
        }
    }
    close(fd);
    return true;
}

void PlainFread(benchmark::State& state) {
    std::vector<uint8_t> buffer(kMiB);
    for (auto _ : state) {
        std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(BenchFilePath().c_str(), "rb"),
                                                   &std::fclose);
        for (size_t offset = 0; offset < kFileSize; offset += kMiB) {
            benchmark::DoNotOptimize(std::fread(buffer.data(), 1, buffer.size(), file.get()));
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void ReadAheadReader(benchmark::State& state) {
    std::vector<uint8_t> buffer(kMiB);
    const std::wstring path = platform::PathFromOsBytes(BenchFilePath());
    for (auto _ : state) {
        bsFileRead file(path, L"rb");
        bs100MMemRead reader(&file);
        reader.SetBlockSize(4194304);
        reader.ReadAhead(4194304);
        for (size_t offset = 0; offset < kFileSize; offset += kMiB) {
            reader.SerializeBytes(buffer.data(), buffer.size());
            reader.ReadAhead(4194304);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

BENCHMARK(PlainFread)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(ReadAheadReader)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// Keeps each benchmark's throughput so the ratio can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto bytes = run.counters.find("bytes_per_second");
            if (bytes != run.counters.end())
                throughput[run.benchmark_name()] = bytes->second;
        }
    }
    std::map<std::string, double> throughput;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!MakeBenchFile()) {
        std::fprintf(stderr, "cannot create the 512 MiB benchmark file\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::remove(BenchFilePath().c_str());

    const double fread = reporter.throughput["PlainFread/min_time:2.000/real_time"];
    const double cached = reporter.throughput["ReadAheadReader/min_time:2.000/real_time"];
    const bool measured = fread > 0 && cached > 0;
    const double ratio = measured ? cached / fread : 0;
    if (measured) {
        std::printf("\nplain fread:        %8.1f MB/s\n", fread / 1e6);
        std::printf("bs100MMemRead:      %8.1f MB/s\n", cached / 1e6);
        std::printf("ratio to fread:     %8.3f (target >= %.1f)\n", ratio, kTargetRatio);
    }
    PrintVerdict("read_ahead_bench",
                 measured ? Figure(ratio, 3) + " x plain fread" : "not measured",
                 ">= " + Figure(kTargetRatio, 1) + " x plain fread", ratio >= kTargetRatio);
    benchmark::Shutdown();
    return measured ? 0 : 1;
}
