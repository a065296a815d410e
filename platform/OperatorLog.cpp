#include "platform/OperatorLog.h"

#include <atomic>
#include <cstdio>

namespace platform {
namespace {

void WriteToStandardError(std::string_view line) {
    std::fprintf(stderr, "OnduLofrin: %.*s\n", static_cast<int>(line.size()), line.data());
}

std::atomic<OperatorLogSink> currentSink{WriteToStandardError};

}  // namespace

void LogForOperator(std::string_view line) {
    currentSink.load()(line);
}

void SetOperatorLogSink(OperatorLogSink sink) {
    currentSink.store(sink != nullptr ? sink : WriteToStandardError);
}

}  // namespace platform
