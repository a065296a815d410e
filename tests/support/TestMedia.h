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

// A test picture at 25 frames a second with a 440 Hz AAC tone beside it, the
// pictures in H.264 with a key frame every `keyInterval`; `bFrames` -1 leaves
// the B-frames to the encoder, and `videoFilter` may name a filter to apply.
inline std::filesystem::path MakeH264AacClip(const std::string& name, const std::string& size,
                                             const std::string& seconds, int keyInterval,
                                             int bFrames, const std::string& videoFilter = {}) {
    std::vector<std::string> args{
        "-f", "lavfi", "-i", "testsrc=s=" + size + ":d=" + seconds + ":r=25",
        "-f", "lavfi", "-i", "sine=f=440:d=" + seconds + ":r=44100"};
    if (!videoFilter.empty())
        args.insert(args.end(), {"-vf", videoFilter});
    args.insert(args.end(),
                {"-c:v", "libx264", "-preset", "ultrafast", "-g", std::to_string(keyInterval)});
    if (bFrames >= 0)
        args.insert(args.end(), {"-bf", std::to_string(bFrames)});
    args.insert(args.end(), {"-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest"});
    return MakeTestMedia(name, args);
}
