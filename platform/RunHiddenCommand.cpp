#include "platform/RunHiddenCommand.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/PathBytes.h"
#include "platform/WindowsCommandLine.h"

extern char** environ;

namespace platform {
namespace {

// The spawn actions of a hidden process: nothing to read, output discarded
// or sent to `output` when one is given, and only the three standard
// descriptors carried over.
class HiddenSpawnActions {
public:
    explicit HiddenSpawnActions(int output = -1) {
        ready_ = posix_spawn_file_actions_init(&actions_) == 0;
        if (!ready_)
            return;
        const bool outputReady =
            output >= 0
                ? posix_spawn_file_actions_adddup2(&actions_, output, 1) == 0
                : posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0) == 0;
        ready_ = posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
                 outputReady &&
                 posix_spawn_file_actions_addopen(&actions_, 2, "/dev/null", O_WRONLY, 0) == 0 &&
                 posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0;
    }
    ~HiddenSpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    HiddenSpawnActions(const HiddenSpawnActions&) = delete;
    HiddenSpawnActions& operator=(const HiddenSpawnActions&) = delete;

    bool Ready() const { return ready_; }
    const posix_spawn_file_actions_t* Get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
    bool ready_ = false;
};

// The words may hold paths (the program's own, for the firewall rule), so
// they reach the program as the bytes the paths came from.
std::vector<std::string> OsWords(std::wstring_view commandLine) {
    std::vector<std::string> words;
    for (const std::wstring& word : SplitWindowsCommandLine(commandLine)) {
        words.push_back(PathToOsBytes(word));
    }
    return words;
}

int WaitForExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

std::optional<pid_t> Spawn(std::vector<std::string> words, int output) {
    if (words.empty() || words.front().empty())
        return std::nullopt;
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    const HiddenSpawnActions actions(output);
    if (!actions.Ready())
        return std::nullopt;
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], actions.Get(), nullptr, argv.data(), environ) != 0) {
        return std::nullopt;
    }
    return pid;
}

// The wait status of the hidden program; nothing when it could not start.
std::optional<int> SpawnAndWait(std::vector<std::string> words) {
    const std::optional<pid_t> pid = Spawn(std::move(words), -1);
    if (!pid)
        return std::nullopt;
    return WaitForExit(*pid);
}

std::optional<int> ExitStatus(std::optional<int> waitStatus) {
    if (!waitStatus || !WIFEXITED(*waitStatus))
        return std::nullopt;
    return WEXITSTATUS(*waitStatus);
}

// Reads to the end, keeping at most `limit` bytes: a program that writes
// more must not block on a full pipe.
std::string ReadAll(int descriptor, size_t limit) {
    std::string kept;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return kept;
        kept.append(buffer, std::min(static_cast<size_t>(got), limit - kept.size()));
    }
}

}  // namespace

bool RunHiddenCommand(std::wstring_view commandLine) {
    return SpawnAndWait(OsWords(commandLine)).has_value();
}

std::optional<int> RunHiddenProgram(const std::vector<std::string>& words) {
    return ExitStatus(SpawnAndWait(words));
}

std::optional<ProgramAnswer> AskHiddenProgram(const std::vector<std::string>& words, size_t limit) {
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC) != 0)
        return std::nullopt;
    const std::optional<pid_t> pid = Spawn(words, ends[1]);
    close(ends[1]);
    if (!pid) {
        close(ends[0]);
        return std::nullopt;
    }
    ProgramAnswer answer;
    answer.output = ReadAll(ends[0], limit);
    close(ends[0]);
    const std::optional<int> status = ExitStatus(WaitForExit(*pid));
    if (!status)
        return std::nullopt;
    answer.status = *status;
    return answer;
}

}  // namespace platform
