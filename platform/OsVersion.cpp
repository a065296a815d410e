#include "platform/OsVersion.h"

#include <atomic>

namespace platform {
namespace {

constexpr unsigned kLinuxMajorVersion = 10;

std::atomic<unsigned> replacedMajorVersion{0};

}  // namespace

unsigned OsMajorVersion() {
    const unsigned replaced = replacedMajorVersion.load(std::memory_order_relaxed);
    return replaced != 0 ? replaced : kLinuxMajorVersion;
}

void SetOsMajorVersionForTesting(unsigned major) {
    replacedMajorVersion.store(major, std::memory_order_relaxed);
}

}  // namespace platform
