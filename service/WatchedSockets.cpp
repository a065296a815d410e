#include "service/WatchedSockets.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace {

constexpr std::chrono::nanoseconds kLongestBlindWait = std::chrono::milliseconds(10);

int ControlWatch(int epoll, int operation, int descriptor, uint32_t events) {
    epoll_event event{};
    event.events = events;
    event.data.fd = descriptor;
    return epoll_ctl(epoll, operation, descriptor, &event);
}

// Registers the descriptor afresh or changes what it is watched for; the
// other operation when the system's list disagrees with ours (a descriptor
// closed and its number taken again).
bool Register(int epoll, bool known, int descriptor, uint32_t events) {
    const int operation = known ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    if (ControlWatch(epoll, operation, descriptor, events) == 0)
        return true;
    if (known && errno == ENOENT)
        return ControlWatch(epoll, EPOLL_CTL_ADD, descriptor, events) == 0;
    if (!known && errno == EEXIST)
        return ControlWatch(epoll, EPOLL_CTL_MOD, descriptor, events) == 0;
    return false;
}

int WaitForEvents(int epoll, std::vector<epoll_event>& received, std::chrono::nanoseconds timeout) {
    const timespec wait{static_cast<time_t>(timeout.count() / 1000000000),
                        static_cast<long>(timeout.count() % 1000000000)};
    const int count =
        epoll_pwait2(epoll, received.data(), static_cast<int>(received.size()), &wait, nullptr);
    if (count >= 0 || errno != ENOSYS)
        return count;
    // Kernels before 5.11 wait in whole milliseconds: rounded up, so that a
    // short wait never becomes none.
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(timeout).count();
    return epoll_wait(epoll, received.data(), static_cast<int>(received.size()),
                      static_cast<int>(milliseconds));
}

}  // namespace

WatchedSockets::~WatchedSockets() {
    Clear();
}

bool WatchedSockets::Watch(int descriptor, uint32_t events) {
    if (descriptor < 0)
        return false;
    Open();
    if (epoll_ < 0)
        return false;
    const auto index = static_cast<size_t>(descriptor);
    if (index >= watching_.size()) {
        watching_.resize(index + 1, 0);
        ready_.resize(index + 1, 0);
    }
    const uint32_t before = watching_[index];
    if (events == before)
        return true;
    if (events == 0) {
        (void)ControlWatch(epoll_, EPOLL_CTL_DEL, descriptor, 0);
        watching_[index] = 0;
        --watchedCount_;
        return true;
    }
    const bool registered = Register(epoll_, before != 0, descriptor, events);
    watching_[index] = registered ? events : 0;
    if (registered && before == 0)
        ++watchedCount_;
    if (!registered && before != 0)
        --watchedCount_;
    return registered;
}

void WatchedSockets::Open() {
    if (epoll_ < 0)
        epoll_ = epoll_create1(EPOLL_CLOEXEC);
}

int WatchedSockets::Wait(std::chrono::nanoseconds timeout) {
    ForgetLastReady();
    if (epoll_ < 0) {
        // Nothing can be watched: the wait still lasts, so the loop never spins.
        const timespec wait{0, static_cast<long>(std::min(timeout, kLongestBlindWait).count())};
        (void)nanosleep(&wait, nullptr);
        return -1;
    }
    // Room for every watched descriptor: all that are ready are told at once.
    received_.resize(std::max<size_t>(watchedCount_, 1));
    const int count = WaitForEvents(epoll_, received_, std::max(timeout, {}));
    for (int i = 0; i < count; ++i) {
        const epoll_event& event = received_[static_cast<size_t>(i)];
        const auto index = static_cast<size_t>(event.data.fd);
        if (index >= ready_.size())
            continue;
        ready_[index] = event.events;
        readyDescriptors_.push_back(event.data.fd);
    }
    return count;
}

uint32_t WatchedSockets::ReadyEvents(int descriptor) const {
    if (descriptor < 0 || static_cast<size_t>(descriptor) >= ready_.size())
        return 0;
    return ready_[static_cast<size_t>(descriptor)];
}

void WatchedSockets::Clear() {
    if (epoll_ >= 0)
        close(epoll_);
    epoll_ = -1;
    watching_.clear();
    ready_.clear();
    readyDescriptors_.clear();
    received_.clear();
    watchedCount_ = 0;
}

void WatchedSockets::ForgetLastReady() {
    for (int descriptor : readyDescriptors_)
        ready_[static_cast<size_t>(descriptor)] = 0;
    readyDescriptors_.clear();
}
