#include "service/MediaWorkers.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "platform/OperatorLog.h"

bool MediaWorkers::StartSystemThread(std::thread& thread, std::function<void()> body) {
    try {
        thread = std::thread(std::move(body));
        return true;
    } catch (const std::system_error& error) {
        errno = error.code().value();
        return false;
    }
}

void MediaWorkers::Run(Job job, Job failed) {
    std::vector<std::thread> ended;
    std::optional<QueuedJob> unstarted;
    {
        platform::MutexLock lock(mutex_);
        if (stopping_)
            return;  // the job goes with the arguments, after the lock
        ended = TakeEndedThreads();
        jobs_.push_back({std::move(job), std::move(failed)});
        // A job no thread will ever take fails now; with threads running,
        // it waits for one of them.
        if (!AddThreadWhenNeeded() && running_ == 0) {
            unstarted.emplace(std::move(jobs_.back()));
            jobs_.pop_back();
        }
    }
    jobQueued_.notify_one();
    for (std::thread& thread : ended)
        thread.join();
    if (unstarted && unstarted->failed)
        unstarted->failed();
}

void MediaWorkers::SetThreadStart(ThreadStart start) {
    platform::MutexLock lock(mutex_);
    startThread_ = start;
}

bool MediaWorkers::AddThreadWhenNeeded() {
    // Every idle thread takes one job; any job beyond them gets a thread.
    if (jobs_.size() <= idle_ || running_ >= maxThreads_)
        return true;
    Worker& worker = workers_.emplace_back();
    if (startThread_(worker.thread, [this, self = &worker] { Work(self); })) {
        ++running_;
        threadShortageTold_ = false;
        return true;
    }
    const int error = errno;
    workers_.pop_back();
    if (!threadShortageTold_) {
        threadShortageTold_ = true;
        platform::LogForOperator(std::string("no thread can be started for a headset's request (") +
                                 std::strerror(error) + "); requests wait for the threads " +
                                 "running, or fail when none runs");
    }
    return false;
}

void MediaWorkers::Stop() {
    std::list<Worker> workers;
    // What a dropped job holds goes without the lock: it may be a session,
    // whose titles take a while to close.
    std::deque<QueuedJob> dropped;
    {
        platform::MutexLock lock(mutex_);
        stopping_ = true;
        dropped.swap(jobs_);
        workers.splice(workers.end(), workers_);
    }
    dropped.clear();
    jobQueued_.notify_all();
    for (Worker& worker : workers)
        worker.thread.join();
    platform::MutexLock lock(mutex_);
    stopping_ = false;
}

size_t MediaWorkers::ThreadCount() const {
    platform::MutexLock lock(mutex_);
    return running_;
}

std::vector<std::thread> MediaWorkers::TakeEndedThreads() {
    std::vector<std::thread> ended;
    for (auto worker = workers_.begin(); worker != workers_.end();) {
        if (worker->ended) {
            ended.push_back(std::move(worker->thread));
            worker = workers_.erase(worker);
        } else {
            ++worker;
        }
    }
    return ended;
}

void MediaWorkers::RunCaught(QueuedJob& job) {
    const char* what = nullptr;
    try {
        job.work();
        return;
    } catch (const std::exception& error) {
        what = error.what();
    } catch (...) {
        what = "unknown exception";
    }
    // Typically memory running out while a large reply is built: the
    // request fails, the service goes on.
    platform::LogForOperator(std::string("a headset's request failed: ") + what);
    if (job.failed)
        job.failed();
}

void MediaWorkers::Work(Worker* self) {
    platform::MutexLock lock(mutex_);
    while (!stopping_) {
        if (!jobs_.empty()) {
            QueuedJob job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.Unlock();
            RunCaught(job);
            job = {};  // what it holds goes before the lock is taken again
            lock.Lock();
            continue;
        }
        ++idle_;
        const bool woken = lock.WaitFor(jobQueued_, kIdleTime);
        --idle_;
        if (!woken && jobs_.empty())
            break;
    }
    self->ended = true;
    --running_;
}
