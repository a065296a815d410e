#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

// The frame hashes of a framemd5 listing of what ffmpeg decodes from
// `ffmpegInput` (input options, the input, and any output options), without
// their time stamps.
inline std::vector<std::string> FrameHashes(const std::vector<std::string>& ffmpegInput) {
    TempDir dir;
    const auto listing = dir.File("frames.md5");
    std::vector<std::string> args{"ffmpeg", "-nostdin", "-v", "error"};
    args.insert(args.end(), ffmpegInput.begin(), ffmpegInput.end());
    args.insert(args.end(), {"-f", "framemd5", listing.string()});
    if (RunProgram(args).exitCode != 0)
        return {};
    std::vector<std::string> hashes;
    std::ifstream in(listing);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        hashes.push_back(line.substr(line.rfind(',') + 1));
    }
    return hashes;
}
