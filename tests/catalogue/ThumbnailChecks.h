#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/FfmpegHandles.h"
#include "support/Bytes.h"
#include "support/TempDir.h"
#include "support/TestMedia.h"

inline double MeanAbsoluteDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty())
        return 255.0;
    uint64_t sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += static_cast<uint64_t>(std::abs(a[i] - b[i]));
    return static_cast<double>(sum) / static_cast<double>(a.size());
}

inline bool IsAllZero(const std::vector<uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t byte) { return byte == 0; });
}

// Container duration in AV_TIME_BASE units, as FFmpeg reports it after probing.
inline int64_t ProbedDuration(const std::filesystem::path& file) {
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, file.c_str(), nullptr, nullptr) < 0)
        return AV_NOPTS_VALUE;
    const FormatContextPtr input(opened);
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        return AV_NOPTS_VALUE;
    return input->duration;
}

// What the ffmpeg tool itself makes at `seconds` with `filters`, as BGRA
// bytes, or nothing when the tool failed.
inline std::vector<uint8_t> FfmpegPictureAt(const std::filesystem::path& file, double seconds,
                                            const std::string& filters) {
    TempDir dir;
    const std::filesystem::path out = dir.File("reference.bgra");
    if (RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-ss", std::to_string(seconds), "-i",
                    file.string(), "-frames:v", "1", "-vf", filters, "-pix_fmt", "bgra", "-f",
                    "rawvideo", out.string()})
            .exitCode != 0)
        return {};
    return ReadFileBytes(out);
}

// What the ffmpeg tool itself extracts at `seconds`: 300x150 BGRA bytes, or
// nothing when the tool failed. `scaleFlags` picks the scaler, the tool's own
// by default; a large picture's edges come out differently under each.
inline std::vector<uint8_t> FfmpegThumbnailAt(const std::filesystem::path& file, double seconds,
                                              const std::string& scaleFlags = {}) {
    return FfmpegPictureAt(
        file, seconds, scaleFlags.empty() ? "scale=300:150" : "scale=300:150:flags=" + scaleFlags);
}

inline double MiddleSeconds(const std::filesystem::path& file) {
    return static_cast<double>(ProbedDuration(file) / 2) / AV_TIME_BASE;
}

inline std::vector<uint8_t> FfmpegMiddleThumbnail(const std::filesystem::path& file) {
    return FfmpegThumbnailAt(file, MiddleSeconds(file));
}

struct MeanColour {
    double blue = 0;
    double green = 0;
    double red = 0;
};

inline MeanColour AverageColour(const std::vector<uint8_t>& bgra) {
    MeanColour mean;
    const size_t pixels = bgra.size() / 4;
    if (pixels == 0)
        return mean;
    for (size_t i = 0; i < pixels; ++i) {
        mean.blue += bgra[4 * i];
        mean.green += bgra[4 * i + 1];
        mean.red += bgra[4 * i + 2];
    }
    mean.blue /= pixels;
    mean.green /= pixels;
    mean.red /= pixels;
    return mean;
}
