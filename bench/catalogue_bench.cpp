// Times BuildCatalogue over 32 large clips against the ffmpeg tool taking the
// same middle thumbnail from each file, one process after another.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchVerdict.h"
#include "FfmpegThumbnails.h"
#include "catalogue/Catalogue.h"
#include "platform/PathBytes.h"

namespace {

const std::string kMediaDir = ONDU_BENCH_MEDIA_DIR;
constexpr double kTargetRatio = 1.0;  // of the ffmpeg tool's time, at most

std::vector<std::string> MediaFiles() {
    std::vector<std::string> files;
    for (int i = 1; i <= 16; ++i) {
        char number[8];
        std::snprintf(number, sizeof number, "%02d", i);
        files.push_back(kMediaDir + "/clip_" + number + "_h264.mp4");
        files.push_back(kMediaDir + "/clip_" + number + "_hevc.mkv");
    }
    return files;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool HasPicture(const CatalogueEntry& entry) {
    for (uint8_t byte : entry.thumbnail) {
        if (byte != 0)
            return true;
    }
    return false;
}

}  // namespace

int main() {
    if (RunToEnd({ONDU_BENCH_SETUP_SCRIPT, kMediaDir}) != 0) {
        std::fprintf(stderr, "catalogue_bench: making the media failed\n");
        return 1;
    }
    av_log_set_level(AV_LOG_ERROR);
    const std::vector<std::string> files = MediaFiles();
    std::vector<std::wstring> paths;
    for (const std::string& file : files)
        paths.push_back(platform::PathFromOsBytes(file));

    const auto ourStart = std::chrono::steady_clock::now();
    const Catalogue catalogue = BuildCatalogue(paths).catalogue;
    const double ours = SecondsSince(ourStart);
    size_t withPicture = 0;
    for (const CatalogueEntry& entry : catalogue)
        withPicture += HasPicture(entry) ? 1 : 0;

    const double reference = FfmpegThumbnailSeconds(files, kMediaDir + "/reference.bgra");

    std::printf("catalogue of %zu files: %zu entries, %zu with a picture\n", files.size(),
                catalogue.size(), withPicture);
    std::printf("BuildCatalogue: %.3f s\n", ours);
    std::printf("ffmpeg tool, one file after another: %.3f s\n", reference);
    const double ratio = reference > 0 ? ours / reference : 0.0;
    std::printf("ratio: %.3f (target: at most %.1f)\n", ratio, kTargetRatio);
    // A catalogue with titles or pictures missing is no figure to compare.
    const bool complete = catalogue.size() == files.size() && withPicture == files.size();
    PrintVerdict("catalogue_bench",
                 complete && reference > 0 ? Figure(ratio, 3) + " x the ffmpeg tool's time"
                                           : "incomplete catalogue or no reference",
                 "<= " + Figure(kTargetRatio, 1) + " x the ffmpeg tool's time",
                 complete && reference > 0 && ratio <= kTargetRatio);
    return complete ? 0 : 1;
}
