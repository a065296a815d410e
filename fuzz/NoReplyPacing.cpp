// Linked into fuzz_handle_request only. SendReply sleeps 1 ms after every
// piece of a reply (platform::Sleep, through std::this_thread::sleep_for and
// nanosleep); under the fuzzer that is pure waiting, and it was most of each
// input's time. This definition takes the place of the C library's nanosleep
// for the whole program, so every such sleep returns at once. Nothing else in
// the program sleeps through nanosleep: libFuzzer times itself with sleep()
// and setitimer, and the drain blocks in recv.
#include <time.h>

extern "C" int nanosleep(const struct timespec*, struct timespec* remaining) {
    if (remaining != nullptr)
        *remaining = {};
    return 0;
}
