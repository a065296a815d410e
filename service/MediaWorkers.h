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
// Running out of threads or memory costs the job it hits, never the process:
// a thread that cannot be made, or a job that throws, ends in the job's own
// failure handler, and the operator is told.
class MediaWorkers {
public:
    static constexpr size_t kMaxThreads = 64;
    static constexpr std::chrono::seconds kIdleTime{5};

    using Job = std::function<void()>;
    // Starts `body` on a new thread in `thread`; false when none can be made.
    using ThreadStart = bool (*)(std::thread& thread, std::function<void()> body);
    static bool StartSystemThread(std::thread& thread, std::function<void()> body);

    explicit MediaWorkers(size_t maxThreads = kMaxThreads, ThreadStart start = StartSystemThread)
        : maxThreads_(maxThreads), startThread_(start) {}
    ~MediaWorkers() { Stop(); }
    MediaWorkers(const MediaWorkers&) = delete;
    MediaWorkers& operator=(const MediaWorkers&) = delete;

    // Starts the job on a free thread, or on a new one when none is free;
    // queues it when the bound is reached, or when no new thread can be made
    // while others run. When no thread can take it at all, or when the job
    // throws, `failed` runs instead of the rest of it: on the caller's thread
    // in the first case, on the job's in the second. Dropped while Stop runs;
    // a job dropped goes on the caller's thread.
    void Run(Job job, Job failed = {}) EXCLUDES(mutex_);

    // How the next threads are made; tests put in one that fails.
    void SetThreadStart(ThreadStart start) EXCLUDES(mutex_);

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
    struct QueuedJob {
        Job work;
        Job failed;
    };

    void Work(Worker* self) EXCLUDES(mutex_);
    // Runs the job; tells the operator and runs its failure handler when it throws.
    static void RunCaught(QueuedJob& job);
    // A thread for the queue when it holds more jobs than idle threads take;
    // false when it needed one and none could be made.
    bool AddThreadWhenNeeded() REQUIRES(mutex_);
    std::vector<std::thread> TakeEndedThreads() REQUIRES(mutex_);

    const size_t maxThreads_;
    ThreadStart startThread_ GUARDED_BY(mutex_);
    mutable platform::Mutex mutex_;
    std::condition_variable jobQueued_;
    std::deque<QueuedJob> jobs_ GUARDED_BY(mutex_);
    // Nodes stay where they are while their threads run, which hold a pointer
    // to their own; ended ones are joined and erased by the next Run.
    std::list<Worker> workers_ GUARDED_BY(mutex_);
    size_t running_ GUARDED_BY(mutex_) = 0;
    size_t idle_ GUARDED_BY(mutex_) = 0;
    bool stopping_ GUARDED_BY(mutex_) = false;
    // Making a thread failed, and the operator was told; cleared by the next
    // thread made, so that a shortage is told once.
    bool threadShortageTold_ GUARDED_BY(mutex_) = false;
};
