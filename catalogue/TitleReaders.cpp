#include "catalogue/TitleReaders.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "catalogue/FramePool.h"
#include "platform/OperatorLog.h"
#include "platform/ThreadAnnotations.h"

namespace {

// The results as the readers leave them, and the files not yet taken.
class ReadBoard {
public:
    explicit ReadBoard(size_t count) : results_(count) {}

    // The next file for a reader, or nothing when all are taken.
    std::optional<size_t> Take() EXCLUDES(mutex_) {
        platform::MutexLock lock(mutex_);
        if (nextToTake_ == results_.size())
            return std::nullopt;
        return nextToTake_++;
    }

    void Put(size_t file, TitleRead read) EXCLUDES(mutex_) {
        {
            platform::MutexLock lock(mutex_);
            results_[file] = std::move(read);
            ++done_;
        }
        changed_.notify_all();
    }

    // Called by a reader that stops, so that a waiter on a cancelled build
    // wakes once the last one has.
    void ReaderStopped() EXCLUDES(mutex_) {
        {
            platform::MutexLock lock(mutex_);
            ++stoppedReaders_;
        }
        changed_.notify_all();
    }

    struct News {
        std::optional<TitleRead> read;  // `file`, when it is there
        size_t done = 0;
        bool cancelled = false;
    };

    // Waits until `file` is read or the count done differs from `reported`;
    // once `cancel` is raised, until every reader has stopped.
    News WaitFor(size_t file, size_t reported, size_t readers, const std::atomic<bool>* cancel)
        EXCLUDES(mutex_) {
        platform::MutexLock lock(mutex_);
        News news;
        for (;;) {
            if (IsCancelled(cancel)) {
                news.cancelled = stoppedReaders_ == readers;
                if (news.cancelled)
                    return news;
            } else if (results_[file] || done_ != reported) {
                break;
            }
            lock.Wait(changed_);
        }
        news.done = done_;
        news.read = std::exchange(results_[file], std::nullopt);
        return news;
    }

private:
    platform::Mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::optional<TitleRead>> results_ GUARDED_BY(mutex_);
    size_t nextToTake_ GUARDED_BY(mutex_) = 0;
    size_t done_ GUARDED_BY(mutex_) = 0;
    size_t stoppedReaders_ GUARDED_BY(mutex_) = 0;
};

TitleRead LeftOutAfterThrow(size_t file, const std::string& why) {
    platform::LogForOperator("file " + std::to_string(file + 1) +
                             " of the list is left out: its reading failed: " + why);
    return {SkipReason{SkipKind::CannotRead, why}, {}};
}

// A file whose reading throws (memory ran out while it was read) is left out
// with the reason; the reader reads on.
TitleRead ReadGuarded(const ReadOne& readOne, size_t file, FramePool& frames) {
    try {
        return readOne(file, frames);
    } catch (const std::bad_alloc&) {
        return LeftOutAfterThrow(file, "out of memory");
    } catch (const std::exception& error) {
        return LeftOutAfterThrow(file, error.what());
    }
}

void RunReader(ReadBoard& board, const ReadOne& readOne, const std::atomic<bool>* cancel) {
    // Its buffers go when the reader has read its last file.
    FramePool frames;
    while (!IsCancelled(cancel)) {
        const std::optional<size_t> file = board.Take();
        if (!file)
            break;
        board.Put(*file, ReadGuarded(readOne, *file, frames));
    }
    board.ReaderStopped();
}

// Joins the readers however the calling thread leaves.
struct Readers {
    std::vector<std::thread> threads;
    ~Readers() {
        for (std::thread& thread : threads)
            thread.join();
    }
};

// Starts up to `wanted` readers; as many as the system gives threads for,
// the shortfall told to the operator.
void StartReaders(Readers& readers, size_t wanted, ReadBoard& board, const ReadOne& readOne,
                  const std::atomic<bool>* cancel) {
    try {
        readers.threads.reserve(wanted);
        while (readers.threads.size() < wanted)
            readers.threads.emplace_back(RunReader, std::ref(board), std::cref(readOne), cancel);
    } catch (const std::exception& error) {
        platform::LogForOperator("titles are read on " + std::to_string(readers.threads.size()) +
                                 " of " + std::to_string(wanted) + " threads: " + error.what());
    }
}

}  // namespace

bool ReadTitlesInOrder(size_t count, const ReaderCount& readers, const std::atomic<bool>* cancel,
                       const ReadOne& readOne, const DeliverOne& deliver,
                       const ReadProgress& progress) {
    if (progress)
        progress(0, count);
    if (count == 0)
        return !IsCancelled(cancel);
    ReadBoard board(count);
    Readers started;
    const auto startReaders = [&](size_t wanted) {
        StartReaders(started, std::max<size_t>(1, std::min(wanted, count)), board, readOne, cancel);
    };
    startReaders(readers.first);
    bool countSettled = !readers.more;
    // Without a thread of its own, the calling thread reads every file first.
    const bool readHere = started.threads.empty();
    if (readHere) {
        RunReader(board, readOne, cancel);
        countSettled = true;
    }

    bool cancelled = false;
    size_t reported = 0;
    for (size_t file = 0; file < count && !cancelled;) {
        ReadBoard::News news =
            board.WaitFor(file, reported, readHere ? 1 : started.threads.size(), cancel);
        cancelled = news.cancelled;
        if (cancelled)
            break;
        if (news.done != reported && progress)
            progress(news.done, count);
        reported = news.done;
        if (!news.read)
            continue;
        if (!countSettled) {
            if (const std::optional<size_t> wanted = readers.more(*news.read)) {
                countSettled = true;
                startReaders(*wanted);
            }
        }
        deliver(file++, *news.read);
    }
    return !cancelled;
}
