#include "service/MemoryBudgets.h"

#include <algorithm>

#include "service/PackagedFiles.h"

namespace {

// The caches and the replies may each take this share of a cgroup's limit,
// which leaves the rest for the program, the title list and a reader.
constexpr uint64_t kLimitShareDivisor = 4;

}  // namespace

MemoryBudgets BudgetsFor(const platform::MemoryRoom& room) {
    MemoryBudgets budgets{PackagedFiles::kDefaultCacheBudgetBytes, kReplyBudget,
                          room.cgroupLimitBytes};
    if (room.cgroupLimitBytes) {
        const uint64_t share = *room.cgroupLimitBytes / kLimitShareDivisor;
        budgets.blockCacheBytes = std::min(budgets.blockCacheBytes, share);
        budgets.replyBytes = static_cast<size_t>(std::min<uint64_t>(budgets.replyBytes, share));
    }
    return budgets;
}

bool MemoryChoice::Limited() const {
    return readers.LimitedByMemory() ||
           budgets.blockCacheBytes < PackagedFiles::kDefaultCacheBudgetBytes ||
           budgets.replyBytes < kReplyBudget;
}
