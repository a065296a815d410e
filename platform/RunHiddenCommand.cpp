#include "platform/RunHiddenCommand.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/PathBytes.h"
#include "platform/WindowsCommandLine.h"

extern char** environ;

namespace platform {
namespace {

// The spawn actions of a hidden process: nothing to read, output discarded,
// and only the three standard descriptors carried over.
class HiddenSpawnActions {
public:
    HiddenSpawnActions() {
        ready_ = posix_spawn_file_actions_init(&actions_) == 0;
        if (!ready_)
            return;
        ready_ = posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
                 posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0) == 0 &&
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

// The wait status of the hidden program; nothing when it could not start.
std::optional<int> SpawnAndWait(std::vector<std::string> words) {
    if (words.empty() || words.front().empty())
        return std::nullopt;
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    const HiddenSpawnActions actions;
    if (!actions.Ready())
        return std::nullopt;
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], actions.Get(), nullptr, argv.data(), environ) != 0) {
        return std::nullopt;
    }
    return WaitForExit(pid);
}

}  // namespace

bool RunHiddenCommand(std::wstring_view commandLine) {
    return SpawnAndWait(OsWords(commandLine)).has_value();
}

std::optional<int> RunHiddenProgram(const std::vector<std::string>& words) {
    const std::optional<int> status = SpawnAndWait(words);
    if (!status || !WIFEXITED(*status))
        return std::nullopt;
    return WEXITSTATUS(*status);
}

}  // namespace platform
