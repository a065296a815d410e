#pragma once

#include "app/PostToWindow.h"

#include <QObject>

#include <thread>
#include <utility>

// Work done on a thread of its own, whose result reaches `receiver` through
// its event queue: a disk that takes seconds to wake, or a share that is
// slow to answer, holds up nothing on the window. The work must not touch
// the receiver. Destroying the object waits for the thread; a result that
// comes after its receiver has gone is dropped with the receiver's events.
class OffThread {
public:
    template <typename Work, typename Done>
    OffThread(QObject* receiver, Work work, Done done)
        : thread_([receiver, work = std::move(work), done = std::move(done)]() mutable {
              PostToWindow(receiver, [done = std::move(done), result = work()]() mutable {
                  done(std::move(result));
              });
          }) {}
    ~OffThread() { thread_.join(); }
    OffThread(const OffThread&) = delete;
    OffThread& operator=(const OffThread&) = delete;

private:
    std::thread thread_;
};
