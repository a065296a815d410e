#include "service/HeadsetTally.h"

#include <algorithm>

void HeadsetTally::Connected(const ClientSession* headset) {
    platform::MutexLock lock(mutex_);
    headsets_.push_back({headset, {}});
}

void HeadsetTally::Opened(const ClientSession* headset, const std::string& title) {
    platform::MutexLock lock(mutex_);
    for (Headset& known : headsets_) {
        if (known.key == headset)
            known.title = title;
    }
}

void HeadsetTally::Released(const ClientSession* headset) {
    platform::MutexLock lock(mutex_);
    std::erase_if(headsets_, [headset](const Headset& known) { return known.key == headset; });
}

void HeadsetTally::Clear() {
    platform::MutexLock lock(mutex_);
    headsets_.clear();
}

HeadsetView HeadsetTally::View() const {
    HeadsetView view;
    view.bytesSent = bytesSent_.load(std::memory_order_relaxed);
    platform::MutexLock lock(mutex_);
    view.headsets = headsets_.size();
    for (const Headset& headset : headsets_) {
        const auto& playing = view.titlesPlaying;
        if (!headset.title.empty() &&
            std::find(playing.begin(), playing.end(), headset.title) == playing.end())
            view.titlesPlaying.push_back(headset.title);
    }
    return view;
}
