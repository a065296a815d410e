#pragma once

namespace platform {

// A descriptor that one thread makes readable to end another's poll: an
// eventfd, whose count Signal raises and Drain takes back to zero. Signals
// that come before the poll are not lost; several count as one wake-up.
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // Watch for POLLIN.
    int Descriptor() const { return descriptor_; }
    void Signal();
    void Drain();

private:
    int descriptor_;
};

}  // namespace platform
