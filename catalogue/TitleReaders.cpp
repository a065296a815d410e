#include "catalogue/TitleReaders.h"

#include <algorithm>
#include <condition_variable>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "catalogue/FramePool.h"
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

void RunReader(ReadBoard& board, const ReadOne& readOne, const std::atomic<bool>* cancel) {
    // Its buffers go when the reader has read its last file.
    FramePool frames;
    while (!IsCancelled(cancel)) {
        const std::optional<size_t> file = board.Take();
        if (!file)
            break;
        board.Put(*file, readOne(*file, frames));
    }
    board.ReaderStopped();
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
    std::vector<std::thread> threads;
    const auto startReaders = [&](size_t wanted) {
        wanted = std::max<size_t>(1, std::min(wanted, count));
        while (threads.size() < wanted)
            threads.emplace_back(RunReader, std::ref(board), std::cref(readOne), cancel);
    };
    startReaders(readers.first);
    bool countSettled = !readers.more;

    bool cancelled = false;
    size_t reported = 0;
    for (size_t file = 0; file < count && !cancelled;) {
        ReadBoard::News news = board.WaitFor(file, reported, threads.size(), cancel);
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
    for (std::thread& thread : threads)
        thread.join();
    return !cancelled;
}
