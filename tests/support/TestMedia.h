#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

#ifndef ONDU_TEST_MEDIA_DIR
#error "ONDU_TEST_MEDIA_DIR must name the folder that caches generated test media"
#endif

// A media file made once by the ffmpeg tool and cached in the build folder,
// shared by every test process. `ffmpegArgs` are the arguments between
// "ffmpeg -y -v error" and the output path; `name` carries the extension that
// picks the container. Returns an empty path when ffmpeg failed.
inline std::filesystem::path MakeTestMedia(const std::string& name,
                                           const std::vector<std::string>& ffmpegArgs) {
    const std::filesystem::path dir = ONDU_TEST_MEDIA_DIR;
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    const std::filesystem::path target = dir / name;
    if (std::filesystem::exists(target))
        return target;

    // Written under a private name and renamed, so parallel tests never see
    // half a file.
    const std::filesystem::path partial = dir / (std::to_string(getpid()) + ".partial." + name);
    std::vector<std::string> args{"ffmpeg", "-nostdin", "-y", "-v", "error"};
    args.insert(args.end(), ffmpegArgs.begin(), ffmpegArgs.end());
    args.push_back(partial.string());
    if (RunProgram(args, 300000).exitCode != 0) {
        std::filesystem::remove(partial, ignored);
        return {};
    }
    std::filesystem::rename(partial, target, ignored);
    return std::filesystem::exists(target) ? target : std::filesystem::path{};
}
