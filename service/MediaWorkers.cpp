#include "service/MediaWorkers.h"

#include <utility>

void MediaWorkers::Run(Job job) {
    std::vector<std::thread> ended;
    {
        platform::MutexLock lock(mutex_);
        if (stopping_)
            return;
        ended = TakeEndedThreads();
        jobs_.push_back(std::move(job));
        // Every idle thread takes one job; any job beyond them gets a thread.
        if (jobs_.size() > idle_ && running_ < maxThreads_) {
            Worker& worker = workers_.emplace_back();
            ++running_;
            worker.thread = std::thread(&MediaWorkers::Work, this, &worker);
        }
    }
    jobQueued_.notify_one();
    for (std::thread& thread : ended)
        thread.join();
}

void MediaWorkers::Stop() {
    std::list<Worker> workers;
    // What a dropped job holds goes without the lock: it may be a session,
    // whose titles take a while to close.
    std::deque<Job> dropped;
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

void MediaWorkers::Work(Worker* self) {
    platform::MutexLock lock(mutex_);
    while (!stopping_) {
        if (!jobs_.empty()) {
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.Unlock();
            job();
            job = nullptr;  // what it holds goes before the lock is taken again
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
