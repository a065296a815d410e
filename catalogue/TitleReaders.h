#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>

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
    // Its picture was decoded from the file.
    bool decoded = false;
};

struct TitleRead {
    TitleOrReason outcome;
    FileRead read;
};

// How many files are read at once: `first` from the start; then `more`,
// when given, hears each file as it is delivered until it names the count
// for the rest of the files, once.
struct ReaderCount {
    size_t first = 1;
    std::function<std::optional<size_t>(const TitleRead& read)> more;
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
bool ReadTitlesInOrder(size_t count, const ReaderCount& readers, const std::atomic<bool>* cancel,
                       const ReadOne& readOne, const DeliverOne& deliver,
                       const ReadProgress& progress);
