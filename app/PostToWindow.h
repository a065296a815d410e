#pragma once

#include <QMetaObject>
#include <QObject>

#include <utility>

#if defined(__SANITIZE_THREAD__)
#define ONDU_TELL_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ONDU_TELL_THREAD_SANITIZER 1
#endif
#endif

#if defined(ONDU_TELL_THREAD_SANITIZER)
#include <sanitizer/tsan_interface.h>
#endif

namespace post_to_window_detail {

// Work that crosses from a thread to the window through Qt's event queue.
// The queue's lock lives inside Qt, which is not built for ThreadSanitizer,
// so a sanitizer build would take the hand-over for a race; the work tells
// it instead: what the posting thread wrote before its last move is seen by
// the window's thread when it runs or drops the work.
template <typename Work>
class HandedOver {
public:
    explicit HandedOver(Work work) : work_(std::move(work)) {}
    HandedOver(HandedOver&& other) : work_(std::move(other.work_)) { Released(); }
    HandedOver(const HandedOver&) = delete;
    HandedOver& operator=(const HandedOver&) = delete;
    HandedOver& operator=(HandedOver&&) = delete;
    ~HandedOver() { Acquired(); }

    void operator()() {
        Acquired();
        work_();
    }

private:
    void Released() {
#if defined(ONDU_TELL_THREAD_SANITIZER)
        __tsan_release(this);
#endif
    }
    void Acquired() {
#if defined(ONDU_TELL_THREAD_SANITIZER)
        __tsan_acquire(this);
#endif
    }

    Work work_;
};

}  // namespace post_to_window_detail

// Runs `work` on `receiver`'s thread, from its event queue; dropped with the
// receiver's events when the receiver is gone first.
template <typename Work>
void PostToWindow(QObject* receiver, Work work) {
    QMetaObject::invokeMethod(receiver, post_to_window_detail::HandedOver<Work>(std::move(work)),
                              Qt::QueuedConnection);
}
