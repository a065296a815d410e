// The libFuzzer entry point of one target; CMake names the body in
// ONDU_FUZZ_BODY when it builds the target.
#include "FuzzTargets.h"

#ifndef ONDU_FUZZ_BODY
#error "ONDU_FUZZ_BODY must name the Fuzz... function of this target"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ONDU_FUZZ_BODY(data, size);
    return 0;
}
