#pragma once

// Runs the real service inside the benchmark process, in a network namespace
// of its own, and talks to it as one headset on loopback.

#include <pthread.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/LocalAddresses.h"
#include "service/VideoService.h"
#include "support/ChildProcess.h"
#include "support/PrivateNetwork.h"
#include "tools/headset/HeadsetExchanges.h"

using BenchClock = std::chrono::steady_clock;

inline double SecondsSince(BenchClock::time_point start) {
    return std::chrono::duration<double>(BenchClock::now() - start).count();
}

// The benchmark's one service.
inline VideoService& BenchService() {
    static VideoService service;
    return service;
}

inline void StartBenchService(const std::vector<std::wstring>& files) {
    EnterPrivateNetwork();
    ServiceOptions options;
    options.paths = files;
    options.bindAddresses = {{{127, 0, 0, 1}}};
    options.directoryOrigin = std::nullopt;
    BenchService().StartVideoService(options);
}

inline void StopBenchService() {
    BenchService().StopVideoService();
}

// The one headset, connected to the service.
inline std::optional<headset::HeadsetConnection> ConnectBenchHeadset() {
    std::string error;
    return headset::HeadsetConnection::Open("127.0.0.1", 23107, 10000, error);
}

// CPU seconds the worker thread has used so far.
inline double WorkerCpuSeconds() {
    clockid_t clock{};
    if (pthread_getcpuclockid(BenchService().State().workerThread.native_handle(), &clock) != 0)
        return 0;
    timespec used{};
    clock_gettime(clock, &used);
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

// Runs a program to its end and returns how long it took, or a negative value.
inline double TimeProgram(const std::vector<std::string>& args) {
    const auto start = BenchClock::now();
    ChildProcess child(args);
    child.ReadOutputToEnd(600000);
    return child.WaitForExit(600000) == 0 ? SecondsSince(start) : -1;
}
