#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#ifndef ONDU_TEST_MEDIA_DIR
#error "ONDU_TEST_MEDIA_DIR must name the folder that caches generated test media"
#endif

extern char** environ;

// Runs a program with arguments, no shell; returns its exit status or -1.
inline int RunProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
    if (RunProgram(args) != 0) {
        std::filesystem::remove(partial, ignored);
        return {};
    }
    std::filesystem::rename(partial, target, ignored);
    return std::filesystem::exists(target) ? target : std::filesystem::path{};
}
