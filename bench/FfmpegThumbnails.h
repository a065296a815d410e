#pragma once

// The reference of the catalogue benchmarks: the ffmpeg tool taking the
// thumbnail of each file's middle, 300x150 BGRA, one process after another,
// as someone without this program would.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/FfmpegHandles.h"

extern char** environ;

// Runs a program to its end; its exit code, or -1. `usage`, when given,
// receives what it used (its peak resident memory among it).
inline int RunToEnd(const std::vector<std::string>& args, rusage* usage = nullptr) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    if (wait4(pid, &status, 0, usage) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The middle of a file in seconds, as the thumbnail takes it.
inline double MiddleSeconds(const std::string& file) {
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, file.c_str(), nullptr, nullptr) < 0)
        return 0;
    const FormatContextPtr input(opened);
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        return 0;
    return static_cast<double>(input->duration / 2) / AV_TIME_BASE;
}

// The tool's command line for the thumbnail at `middle` seconds.
inline std::vector<std::string> FfmpegThumbnailCommand(const std::string& file, double middle,
                                                       const std::string& output) {
    return {
        "ffmpeg", "-nostdin", "-v",        "error", "-y",  "-ss",           std::to_string(middle),
        "-i",     file,       "-frames:v", "1",     "-vf", "scale=300:150", "-pix_fmt",
        "bgra",   "-f",       "rawvideo",  output};
}

// Seconds the tool took for all the files, writing each picture to
// `output`; negative when it failed on one. The middles are found first,
// outside the time.
inline double FfmpegThumbnailSeconds(const std::vector<std::string>& files,
                                     const std::string& output) {
    std::vector<double> middles;
    for (const std::string& file : files)
        middles.push_back(MiddleSeconds(file));
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < files.size(); ++i) {
        if (RunToEnd(FfmpegThumbnailCommand(files[i], middles[i], output)) != 0)
            return -1;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
