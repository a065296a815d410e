#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ThreadAnnotations.h"

struct ClientSession;

// What a front end shows of the headsets: how many are connected, what they
// play, and every byte of the replies they have been sent.
struct HeadsetView {
    size_t headsets = 0;
    // The titles the headsets have open, each once, by the order the
    // headsets connected in.
    std::vector<std::string> titlesPlaying;
    // Since the service was made; the rate is the front end's to work out.
    uint64_t bytesSent = 0;
};

// The headsets of one service, kept by the operator events on the loop and
// the media threads, and read by a front end whenever it likes. The lock is
// only held to change or copy a few names, never while anyone waits for
// anything else, so the service never waits on the front end's work; the
// bytes are counted without it.
class HeadsetTally {
public:
    void Connected(const ClientSession* headset);
    void Opened(const ClientSession* headset, const std::string& title);
    void Released(const ClientSession* headset);
    void Sent(uint64_t bytes) { bytesSent_.fetch_add(bytes, std::memory_order_relaxed); }
    // Forgets every headset: the service stopped and closed them all.
    void Clear();

    HeadsetView View() const;

private:
    struct Headset {
        const ClientSession* key;
        std::string title;
    };

    mutable platform::Mutex mutex_;
    std::vector<Headset> headsets_ GUARDED_BY(mutex_);
    std::atomic<uint64_t> bytesSent_{0};
};
