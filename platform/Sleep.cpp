#include "platform/Sleep.h"

#include <sys/prctl.h>

#include <chrono>
#include <thread>

namespace platform {

void Sleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void UsePreciseSleeps() {
    (void)prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

}  // namespace platform
