#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <thread>
#include <vector>

#include "platform/ThreadAnnotations.h"

// The threads that do the media work of the headsets' requests: opening
// titles, seeking, reading packets and packaged bytes, away from the
// connection loop. A job never waits for a thread that another job holds,
// since that job may sit on a disk that takes seconds to wake: when no thread
// is free, the job gets a new one, up to a bound. A thread left without work
// for a while ends, so an idle service is back to its loop thread alone.
class MediaWorkers {
public:
    // As many jobs as one pass of the loop can hand over, each on a thread.
    static constexpr size_t kMaxThreads = 64;
    static constexpr std::chrono::seconds kIdleTime{5};

    using Job = std::function<void()>;

    explicit MediaWorkers(size_t maxThreads = kMaxThreads) : maxThreads_(maxThreads) {}
    ~MediaWorkers() { Stop(); }
    MediaWorkers(const MediaWorkers&) = delete;
    MediaWorkers& operator=(const MediaWorkers&) = delete;

    // Starts the job on a free thread, or on a new one when none is free;
    // queues it when the bound is reached. Dropped while Stop runs.
    void Run(Job job) EXCLUDES(mutex_);

    // Drops the jobs not yet started, then waits until the jobs under way
    // have returned and every thread has ended. The workers may be used again
    // afterwards.
    void Stop() EXCLUDES(mutex_);

    // Threads alive now.
    size_t ThreadCount() const EXCLUDES(mutex_);

private:
    struct Worker {
        std::thread thread;
        bool ended = false;
    };

    void Work(Worker* self) EXCLUDES(mutex_);
    std::vector<std::thread> TakeEndedThreads() REQUIRES(mutex_);

    const size_t maxThreads_;
    mutable platform::Mutex mutex_;
    std::condition_variable jobQueued_;
    std::deque<Job> jobs_ GUARDED_BY(mutex_);
    // Nodes stay where they are while their threads run, which hold a pointer
    // to their own; ended ones are joined and erased by the next Run.
    std::list<Worker> workers_ GUARDED_BY(mutex_);
    size_t running_ GUARDED_BY(mutex_) = 0;
    size_t idle_ GUARDED_BY(mutex_) = 0;
    bool stopping_ GUARDED_BY(mutex_) = false;
};
