#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

// A program started without a shell, its output readable through pipes.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
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

    // Collects standard output until the process closes it; false on time-out.
    bool ReadOutputToEnd(int timeoutMs) {
        const auto deadline = Deadline(timeoutMs);
        while (ReadSome(stdout_, output_, deadline)) {
        }
        return std::chrono::steady_clock::now() < deadline;
    }

    // The exit code, or nothing if the process is still running at the deadline.
    std::optional<int> WaitForExit(int timeoutMs) {
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
    static std::chrono::steady_clock::time_point Deadline(int timeoutMs) {
        return std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    }
    static bool ReadSome(int fd, std::string& into,
                         std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            return false;
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left)) <= 0)
            return false;
        char buffer[4096];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        into.append(buffer, static_cast<size_t>(got));
        return true;
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
