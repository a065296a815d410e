#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// Lets clang's -Wthread-safety check at compile time that data is only
// touched with its mutex held. libstdc++'s std::mutex carries no
// annotations, so code that wants the check locks a Mutex through a
// MutexLock. Other compilers see plain std::mutex code.
#if defined(__clang__)
#define ONDU_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ONDU_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) ONDU_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY ONDU_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) ONDU_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) ONDU_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) ONDU_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) ONDU_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define EXCLUDES(...) ONDU_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))

namespace platform {

class CAPABILITY("mutex") Mutex {
public:
    void Lock() ACQUIRE() { mutex_.lock(); }
    void Unlock() RELEASE() { mutex_.unlock(); }

private:
    friend class MutexLock;
    std::mutex mutex_;
};

// Holds the mutex from construction to destruction, except between an
// Unlock and the next Lock, and while it waits on a condition variable.
class SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : lock_(mutex.mutex_) {}
    ~MutexLock() RELEASE() {}
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    void Unlock() RELEASE() { lock_.unlock(); }
    void Lock() ACQUIRE() { lock_.lock(); }
    // Lets go of the mutex until woken, and holds it again on return. The
    // analysis does not see inside a predicate, so callers loop themselves.
    void Wait(std::condition_variable& condition) { condition.wait(lock_); }
    // As Wait, for at most `timeout`; false when the time ran out.
    template <typename Rep, typename Period>
    bool WaitFor(std::condition_variable& condition,
                 const std::chrono::duration<Rep, Period>& timeout) {
        return condition.wait_for(lock_, timeout) == std::cv_status::no_timeout;
    }

private:
    std::unique_lock<std::mutex> lock_;
};

// A value reachable only with a given mutex held. A field annotation cannot
// name the mutex of another object, such as the owner of a struct, so such
// fields are wrapped in this instead: With(mutex) needs the mutex held.
template <typename T>
class Guarded {
public:
    T& With(const Mutex& mutex) REQUIRES(mutex) {
        (void)mutex;
        return value_;
    }

private:
    T value_{};
};

}  // namespace platform
