#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

#include "catalogue/SkipReason.h"

class FramePool;

// Whether a cancel flag is given and raised.
inline bool IsCancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// How one file was read.
struct FileRead {
    double seconds = 0;
    bool fromCache = false;
};

struct TitleRead {
    TitleOrReason outcome;
    FileRead read;
};

// Reads files 0 to count - 1 with `readOne` on `readers` threads of their
// own, each lending its picture buffers to the files it reads, and hands
// every result to `deliver` on the calling thread, in the order of the
// files, as soon as it and all before it are there. `progress` hears, also
// on the calling thread, how many files are done in any order, first 0.
// Once `cancel` is raised no file is started and nothing more is delivered;
// returns false then, after the readers have finished their files. A file
// whose reading throws is delivered as left out, with why; when the system
// gives fewer threads than `readers`, fewer read, and with none the calling
// thread reads every file itself.
using ReadOne = std::function<TitleRead(size_t file, FramePool& frames)>;
using DeliverOne = std::function<void(size_t file, TitleRead& read)>;
using ReadProgress = std::function<void(size_t filesDone, size_t count)>;
bool ReadTitlesInOrder(size_t count, size_t readers, const std::atomic<bool>* cancel,
                       const ReadOne& readOne, const DeliverOne& deliver,
                       const ReadProgress& progress);
