#include "platform/OperatorLog.h"

#include <sys/time.h>

#include <atomic>
#include <cstdio>
#include <ctime>

#include "platform/ThreadAnnotations.h"

namespace platform {
namespace {

// Local wall time to the millisecond, so that a line can be matched with
// what the person at the headset saw.
void WriteToStandardError(std::string_view line) {
    timeval now{};
    gettimeofday(&now, nullptr);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char stamp[32];
    const size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(stderr, "%.*s.%03d OnduLofrin: %.*s\n", static_cast<int>(length), stamp,
                 static_cast<int>(now.tv_usec / 1000), static_cast<int>(line.size()), line.data());
}

std::atomic<OperatorLogSink> currentSink{WriteToStandardError};
std::atomic<OperatorDetail> currentDetail{OperatorDetail::Errors};
// The loop and the media threads write lines at once; one at a time, a sink
// need not be safe for threads and lines never interleave.
Mutex sinkMutex;

}  // namespace

void LogForOperator(std::string_view line) {
    MutexLock lock(sinkMutex);
    currentSink.load()(line);
}

bool OperatorWants(OperatorDetail detail) {
    return detail <= currentDetail.load(std::memory_order_relaxed);
}

void SetOperatorDetail(OperatorDetail detail) {
    currentDetail.store(detail, std::memory_order_relaxed);
}

void SetOperatorLogSink(OperatorLogSink sink) {
    currentSink.store(sink != nullptr ? sink : WriteToStandardError);
}

}  // namespace platform
