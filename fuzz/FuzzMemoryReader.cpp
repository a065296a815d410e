#include <cstdint>
#include <vector>

#include "FuzzTargets.h"
#include "ReaderOperations.h"
#include "archive/bsMemRead.h"
#include "support/Bytes.h"

// Input: u16 buffer length, a byte whose bit 0 hands the reader a null
// pointer, then operations (reader_operations) on a bsMemRead over that many
// pattern bytes.
void FuzzMemoryReader(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const std::vector<uint8_t> bytes = PatternBytes(input.Take<uint16_t>(), 5);
    const bool nullData = (input.Take<uint8_t>() & 1) != 0;

    bsMemRead reader(nullData ? nullptr : bytes.data(), bytes.size());
    ReaderModel model(nullData ? std::span<const uint8_t>{} : std::span(bytes));
    FUZZ_CHECK(!reader.IsStoring());
    model.CheckPosition(reader);
    while (!input.Empty()) {
        const uint8_t operation = input.Take<uint8_t>() % reader_operations::kOperationCount;
        reader_operations::Apply(operation, input, reader, model);
    }
}
