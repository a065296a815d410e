#pragma once

#include <sys/epoll.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

// The descriptors the connection loop waits on, each with what it waits
// for. The system keeps the list between passes (epoll), so a pass with a
// thousand silent connections costs only what changed since the last one,
// and every ready descriptor is told in the same wait: none waits behind
// others for a turn. Used by one thread.
class WatchedSockets {
public:
    WatchedSockets() = default;
    ~WatchedSockets();
    WatchedSockets(const WatchedSockets&) = delete;
    WatchedSockets& operator=(const WatchedSockets&) = delete;

    // Makes the system's list, when there is none. Done by the start, so that
    // the service holds all its descriptors once the start returns; the
    // first Watch makes it otherwise.
    void Open();

    // From the next Wait on, waits for `events` (EPOLLIN, EPOLLOUT) on the
    // descriptor; none stops watching it. A descriptor must be no longer
    // watched before it is closed. False when the system refused: the
    // descriptor is then not watched.
    bool Watch(int descriptor, uint32_t events);
    void Forget(int descriptor) { (void)Watch(descriptor, 0); }

    // Waits at most `timeout` for any watched descriptor to be ready; the
    // number ready, or -1 when the wait failed.
    int Wait(std::chrono::nanoseconds timeout);

    // What the last Wait found on the descriptor (EPOLLIN, EPOLLOUT, EPOLLERR,
    // EPOLLHUP); 0 when it was not ready.
    uint32_t ReadyEvents(int descriptor) const;

    // Forgets every descriptor, as after all of them were closed.
    void Clear();

    size_t WatchedCount() const { return watchedCount_; }

private:
    void ForgetLastReady();

    int epoll_ = -1;
    // By descriptor: the events it is watched for; 0 when it is not.
    std::vector<uint32_t> watching_;
    std::vector<uint32_t> ready_;
    std::vector<int> readyDescriptors_;
    std::vector<epoll_event> received_;
    size_t watchedCount_ = 0;
};
