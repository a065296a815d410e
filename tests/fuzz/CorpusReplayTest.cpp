#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <ostream>
#include <vector>

#include "FuzzTargets.h"
#include "support/Bytes.h"

#ifndef ONDU_FUZZ_DIR
#error "ONDU_FUZZ_DIR must name the fuzz folder of the source tree"
#endif

// Every committed fuzz input, seeds and saved findings alike, goes through
// the body of its fuzz target, as libFuzzer would run it. A body aborts on a
// failed check, so a finding that comes back ends this test.
namespace {

namespace fs = std::filesystem;

struct FuzzTarget {
    const char* name;
    void (*body)(const uint8_t*, size_t);
};

constexpr FuzzTarget kTargets[] = {
    {"handle_request", FuzzHandleRequest},        {"packaged_movie", FuzzPackagedMovie},
    {"parameter_sets", FuzzParameterSets},        {"memory_reader", FuzzMemoryReader},
    {"block_cache_reader", FuzzBlockCacheReader},
};

// Names the target in test names and messages.
void PrintTo(const FuzzTarget& target, std::ostream* out) {
    *out << target.name;
}

std::vector<fs::path> InputsIn(const fs::path& dir) {
    std::vector<fs::path> inputs;
    if (fs::is_directory(dir)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

void Replay(const FuzzTarget& target, const std::vector<fs::path>& inputs) {
    for (const fs::path& input : inputs) {
        // Named before it runs: an abort leaves the culprit as the last line.
        std::cout << "replaying " << input.string() << std::endl;
        const std::vector<uint8_t> bytes = ReadFileBytes(input);
        target.body(bytes.data(), bytes.size());
    }
}

class CorpusReplay : public ::testing::TestWithParam<FuzzTarget> {};

}  // namespace

TEST_P(CorpusReplay, SeedsAndSavedFindingsPass) {
    const fs::path fuzz = ONDU_FUZZ_DIR;
    std::vector<fs::path> inputs = InputsIn(fuzz / "corpus" / GetParam().name);
    EXPECT_FALSE(inputs.empty()) << "every target has seeds";
    const std::vector<fs::path> saved = InputsIn(fuzz / "regressions" / GetParam().name);
    inputs.insert(inputs.end(), saved.begin(), saved.end());
    Replay(GetParam(), inputs);
    // libFuzzer runs inputs in any order, and a finding must come back alone:
    // no input may lean on what the ones before it left behind.
    std::reverse(inputs.begin(), inputs.end());
    Replay(GetParam(), inputs);
}

INSTANTIATE_TEST_SUITE_P(Fuzz, CorpusReplay, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<FuzzTarget>& info) {
                             return std::string(info.param.name);
                         });
