// Starts `OnduLofrin --serve` on a library of 32 8K HEVC Main 10 titles, once
// with an empty cache and once with the cache the first start left, and
// times each from launch to "listening on" against the ffmpeg tool taking
// the same 32 thumbnails one after another. A first start on the same
// pictures coded as HDR10, whose thumbnails are tone-mapped, is timed against
// the tool on those files. Each start's peak memory and its memory at rest
// afterwards are reported too, against the ffmpeg tool's peak for one
// thumbnail, and every title's picture is fetched as a headset does: both
// starts must show the same pictures. Where the machine gives a memory
// cgroup, a start with an empty cache runs inside one of 512 MiB and must
// show the same pictures too.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "BenchService.h"
#include "BenchVerdict.h"
#include "FfmpegThumbnails.h"
#include "support/ChildProcess.h"
#include "support/MemoryCgroup.h"
#include "support/PrivateNetwork.h"
#include "tools/headset/HeadsetExchanges.h"

namespace {

const std::filesystem::path kBenchDir = ONDU_BENCH_MEDIA_DIR "/start-8k";
constexpr size_t kTitles = 32;
constexpr double kFirstTarget = 0.15;   // of the ffmpeg tool's time, at most
constexpr double kSecondTarget = 0.02;  // the same

std::vector<std::string> LibraryFiles(const char* library) {
    std::vector<std::string> files;
    for (size_t i = 1; i <= kTitles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "title-%02zu.mp4", i);
        files.push_back((kBenchDir / library / name).string());
    }
    return files;
}

// Our environment, with the cache in the benchmark's folder.
std::vector<std::string> Environment() {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (!std::string_view(*variable).starts_with("XDG_CACHE_HOME=") &&
            !std::string_view(*variable).starts_with("CACHE_DIRECTORY="))
            variables.push_back(*variable);
    }
    variables.push_back("XDG_CACHE_HOME=" + (kBenchDir / "cache").string());
    return variables;
}

// A line of /proc/PID/status, in MiB.
double StatusMebibytes(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field))
            return std::atof(line.c_str() + std::strlen(field)) / 1024;
    }
    return 0;
}

struct Start {
    double seconds = -1;
    double peakMebibytes = 0;
    double restMebibytes = 0;
    std::string catalogueLine;
    std::vector<std::vector<uint8_t>> pictures;
};

// Every title's picture as a headset asks for it; empty when one is missing.
std::vector<std::vector<uint8_t>> Pictures() {
    std::string error;
    auto client = headset::HeadsetConnection::Open("127.0.0.1", 23107, 10000, error);
    std::vector<std::vector<uint8_t>> pictures;
    for (size_t i = 0; client && i < kTitles; ++i) {
        headset::TitleDescription title;
        if (!headset::DescribeTitle(*client, static_cast<int32_t>(i), title).empty() ||
            title.status != 0)
            return {};
        pictures.push_back(std::move(title.thumbnail));
    }
    return pictures;
}

// The start's command line on `library`, run in `group` when given.
Start TimeStart(const std::string& program, const char* library,
                const MemoryCgroup* group = nullptr) {
    Start start;
    const std::filesystem::path directory = kBenchDir / "run";
    std::filesystem::create_directories(directory);
    const auto launched = BenchClock::now();
    const std::vector<std::string> args{program,  "--serve",   "--no-directory",
                                        "--bind", "127.0.0.1", (kBenchDir / library).string()};
    ChildProcess server(group != nullptr ? group->StartIn(args) : args, {directory, Environment()});
    if (!server.WaitForOutput("listening on 127.0.0.1:23107", 600000))
        return start;
    start.seconds = SecondsSince(launched);
    start.pictures = Pictures();
    start.peakMebibytes = StatusMebibytes(server.Pid(), "VmHWM:");
    start.restMebibytes = StatusMebibytes(server.Pid(), "VmRSS:");
    server.Signal(SIGTERM);
    server.WaitForExit(10000);
    const std::string output = server.Output();
    for (const char* key : {"catalogue: ", "memory: "}) {
        const size_t line = output.find(key);
        if (line != std::string::npos)
            start.catalogueLine += (start.catalogueLine.empty() ? "" : "; ") +
                                   output.substr(line, output.find('\n', line) - line);
    }
    return start;
}

// The ffmpeg tool's peak resident memory taking one thumbnail, in MiB; 0
// when it failed.
double FfmpegThumbnailPeakMebibytes(const std::string& file, const std::string& output) {
    rusage usage{};
    if (RunToEnd(FfmpegThumbnailCommand(file, MiddleSeconds(file), output), &usage) != 0)
        return 0;
    return static_cast<double>(usage.ru_maxrss) / 1024;
}

bool AllPictures(const Start& start) {
    if (start.pictures.size() != kTitles)
        return false;
    for (const std::vector<uint8_t>& picture : start.pictures) {
        if (picture.size() != 300 * 150 * 4 ||
            std::all_of(picture.begin(), picture.end(), [](uint8_t byte) { return byte == 0; }))
            return false;
    }
    return true;
}

}  // namespace

int main() {
    if (TimeProgram({ONDU_BENCH_SETUP_SCRIPT, kBenchDir.string()}) < 0) {
        std::fprintf(stderr, "start_8k_bench: making the library failed\n");
        return 1;
    }
    // The service runs in a network of this process's own.
    EnterPrivateNetwork();
    av_log_set_level(AV_LOG_ERROR);
    const std::vector<std::string> files = LibraryFiles("library");
    const std::vector<std::string> hdr10Files = LibraryFiles("hdr10-library");

    std::filesystem::remove_all(kBenchDir / "cache");
    const Start first = TimeStart(ONDU_PROGRAM_PATH, "library");
    const Start second = TimeStart(ONDU_PROGRAM_PATH, "library");
    const Start hdr10 = TimeStart(ONDU_PROGRAM_PATH, "hdr10-library");
    std::string whyNoGroup;
    std::optional<MemoryCgroup> group = MemoryCgroup::Make(uint64_t{512} << 20, whyNoGroup);
    std::optional<Start> limited;
    if (group) {
        std::filesystem::remove_all(kBenchDir / "cache");
        limited = TimeStart(ONDU_PROGRAM_PATH, "library", &*group);
    }
    const double reference = FfmpegThumbnailSeconds(files, (kBenchDir / "reference.bgra").string());
    const double hdr10Reference =
        FfmpegThumbnailSeconds(hdr10Files, (kBenchDir / "reference.bgra").string());
    const double referencePeak =
        FfmpegThumbnailPeakMebibytes(files[0], (kBenchDir / "reference.bgra").string());

    std::printf(
        "library: %zu titles, 8192x4096 HEVC Main 10, 5 pictures, key pictures at 0 "
        "and 0.12 s; the same as HDR10 (PQ, BT.2020)\n",
        kTitles);
    std::printf(
        "ffmpeg tool, the %zu thumbnails one after another: %.2f s (%.3f s a title), "
        "HDR10 %.2f s; peak for one thumbnail %.0f MiB\n",
        kTitles, reference, reference / kTitles, hdr10Reference, referencePeak);
    const auto report = [referencePeak](const char* which, const Start& start, double tool) {
        std::printf("%s: %.2f s to \"listening on\" (%.3f x the tool); %s\n", which, start.seconds,
                    start.seconds / tool, start.catalogueLine.c_str());
        std::printf(
            "  memory: peak %.0f MiB (%.2f x the tool's peak for one thumbnail), at rest "
            "after the start %.0f MiB\n",
            start.peakMebibytes, start.peakMebibytes / referencePeak, start.restMebibytes);
    };
    report("first start, cache empty", first, reference);
    report("second start", second, reference);
    report("HDR10 first start, cache empty", hdr10, hdr10Reference);
    if (limited) {
        report("first start inside a 512 MiB memory cgroup", *limited, reference);
        std::printf("  %s\n", group->SawOutOfMemoryKill() ? "killed for want of memory"
                              : limited->pictures == first.pictures
                                  ? "the same pictures"
                                  : "pictures missing or different");
    } else {
        std::printf("no start inside a 512 MiB memory cgroup: %s\n", whyNoGroup.c_str());
    }
    const bool limitedComplete =
        !limited || (limited->seconds > 0 && limited->pictures == first.pictures);
    const bool complete = reference > 0 && hdr10Reference > 0 && first.seconds > 0 &&
                          second.seconds > 0 && hdr10.seconds > 0 && AllPictures(first) &&
                          first.pictures == second.pictures && AllPictures(hdr10) &&
                          limitedComplete;
    std::printf("pictures: %s\n",
                complete ? "every title has one, the same in every start" : "missing or different");
    const double firstRatio = first.seconds / reference;
    const double secondRatio = second.seconds / reference;
    const double hdr10Ratio = hdr10.seconds / hdr10Reference;
    PrintVerdict("start_8k_bench",
                 complete
                     ? "first " + Figure(firstRatio, 3) + ", second " + Figure(secondRatio, 3) +
                           ", HDR10 first " + Figure(hdr10Ratio, 3) + " x the ffmpeg tool's time"
                     : "incomplete start or no reference",
                 "first and HDR10 first <= " + Figure(kFirstTarget, 2) +
                     ", second <= " + Figure(kSecondTarget, 2) + " x the ffmpeg tool's time",
                 complete && firstRatio <= kFirstTarget && secondRatio <= kSecondTarget &&
                     hdr10Ratio <= kFirstTarget);
    return complete ? 0 : 1;
}
