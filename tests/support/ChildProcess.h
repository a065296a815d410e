#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

struct ChildOptions {
    std::filesystem::path directory;  // where it starts; ours when empty
    // Its whole environment, NAME=value each; ours when not given.
    std::optional<std::vector<std::string>> environment;
};

// A program started without a shell, its output readable through pipes.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& args, const ChildOptions& options = {}) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        if (!options.directory.empty())
            posix_spawn_file_actions_addchdir_np(&actions, options.directory.c_str());
        std::vector<char*> envp;
        if (options.environment) {
            for (const std::string& variable : *options.environment)
                envp.push_back(const_cast<char*>(variable.c_str()));
            envp.push_back(nullptr);
        }
        if (posix_spawnp(&pid_, args[0].c_str(), &actions, nullptr, Pointers(args).data(),
                         options.environment ? envp.data() : environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        stdout_ = out[0];
        stderr_ = err[0];
    }
    ~ChildProcess() {
        if (pid_ > 0 && !exitStatus_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0)
            close(stdout_);
        if (stderr_ >= 0)
            close(stderr_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    void Signal(int signal) const {
        if (pid_ > 0)
            kill(pid_, signal);
    }

    // Collects standard output until it holds `text` or the wait is over.
    bool WaitForOutput(const std::string& text, int timeoutMs) {
        const auto deadline = Deadline(timeoutMs);
        while (output_.find(text) == std::string::npos) {
            if (!ReadSome(stdout_, output_, deadline))
                return false;
        }
        return true;
    }

    // Collects both pipes until the process has closed them, so that neither
    // fills up and stalls it; false on time-out.
    bool ReadOutputToEnd(int timeoutMs) {
        const auto deadline = Deadline(timeoutMs);
        bool outOpen = stdout_ >= 0, errOpen = stderr_ >= 0;
        while (outOpen || errOpen) {
            pollfd entries[2] = {{outOpen ? stdout_ : -1, POLLIN, 0},
                                 {errOpen ? stderr_ : -1, POLLIN, 0}};
            const int left = MillisecondsLeft(deadline);
            if (left <= 0 || poll(entries, 2, left) <= 0)
                return false;
            if (entries[0].revents != 0)
                outOpen = ReadInto(stdout_, output_);
            if (entries[1].revents != 0)
                errOpen = ReadInto(stderr_, errors_);
        }
        return true;
    }

    // The exit code, or nothing if the process is still running at the deadline.
    std::optional<int> WaitForExit(int timeoutMs) {
        if (pid_ <= 0)
            return std::nullopt;
        const auto deadline = Deadline(timeoutMs);
        while (!exitStatus_) {
            int status = 0;
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline)
                return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return exitStatus_;
    }

    // Everything both pipes still hold once the process has ended.
    std::string Output() {
        DrainInto(stdout_, output_);
        return output_;
    }
    std::string Errors() {
        DrainInto(stderr_, errors_);
        return errors_;
    }

private:
    using TimePoint = std::chrono::steady_clock::time_point;

    static std::vector<char*> Pointers(const std::vector<std::string>& args) {
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        return argv;
    }
    static TimePoint Deadline(int timeoutMs) {
        return std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    }
    static int MillisecondsLeft(TimePoint deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        return left > 0 ? static_cast<int>(left) : 0;
    }
    // One read; false at the end of the pipe.
    static bool ReadInto(int fd, std::string& into) {
        char buffer[4096];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        into.append(buffer, static_cast<size_t>(got));
        return true;
    }
    static bool ReadSome(int fd, std::string& into, TimePoint deadline) {
        const int left = MillisecondsLeft(deadline);
        pollfd entry{fd, POLLIN, 0};
        return left > 0 && poll(&entry, 1, left) > 0 && ReadInto(fd, into);
    }
    static void DrainInto(int fd, std::string& into) {
        while (ReadSome(fd, into, Deadline(200))) {
        }
    }

    pid_t pid_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
    std::string output_;
    std::string errors_;
    std::optional<int> exitStatus_;
};

struct ProgramRun {
    std::optional<int> exitCode;  // nothing when it did not end in time
    std::string output;
    std::string errors;
};

// Runs a program to its end, or kills it once `timeoutMs` have passed.
inline ProgramRun RunProgram(const std::vector<std::string>& args, int timeoutMs = 60000,
                             const ChildOptions& options = {}) {
    ChildProcess child(args, options);
    child.ReadOutputToEnd(timeoutMs);
    ProgramRun run{child.WaitForExit(1000), {}, {}};
    run.output = child.Output();
    run.errors = child.Errors();
    return run;
}
