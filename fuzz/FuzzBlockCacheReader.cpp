#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <vector>

#include "FuzzTargets.h"
#include "ReaderOperations.h"
#include "archive/bs100MMemRead.h"
#include "support/Bytes.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

namespace {

constexpr int64_t kMiB = 1048576;
constexpr size_t kLongestFile = 3 * kMiB;

enum BlockCacheOperation : uint8_t {
    kReadAhead = reader_operations::kOperationCount,
    kReadAheadAll,
    kSetBlockSize,
    kLoadBlock,
    kCutFile,
    kAdvanceClock,
    kOperationCount
};

// Requests from just below zero to about 2 MiB: mostly the 1 MiB floor and
// odd sizes above it, so that a file of a few MiB spans several blocks.
int64_t BlockSizeRequest(FuzzInput& input) {
    return bs100MMemRead::kMinBlockSize + int64_t{input.Take<int16_t>()} * 33;
}

int64_t ClampedBlockSize(int64_t request) {
    return std::clamp(request, bs100MMemRead::kMinBlockSize, bs100MMemRead::kMaxBlockSize);
}

const std::vector<uint8_t>& FileBytes() {
    static const std::vector<uint8_t> bytes = PatternBytes(kLongestFile, 9);
    return bytes;
}

// The file behind the reader, always a prefix of FileBytes. Inputs change its
// length all the time, so it is cut or extended rather than written anew;
// each input still meets exactly the prefix it asks for, whatever the inputs
// before it did.
class ReaderFile {
public:
    ReaderFile() { WriteFileBytes(path_, {}); }

    const std::filesystem::path& Prepare(size_t length) {
        if (length < length_) {
            Cut(length);
        } else if (length > length_) {
            std::ofstream out(path_, std::ios::binary | std::ios::in | std::ios::out);
            out.seekp(static_cast<std::streamoff>(length_));
            out.write(reinterpret_cast<const char*>(FileBytes().data() + length_),
                      static_cast<std::streamsize>(length - length_));
            length_ = length;
        }
        FUZZ_CHECK(std::filesystem::file_size(path_) == length);
        return path_;
    }
    // Only ever shortens: lengthening would add zeros, and the file would no
    // longer be the prefix the next input asks for.
    void Cut(size_t length) {
        if (length >= length_)
            return;
        std::filesystem::resize_file(path_, length);
        length_ = length;
    }

private:
    TempDir dir_;
    std::filesystem::path path_ = dir_.File("packaged.vrm");
    size_t length_ = 0;
};

// Cached blocks are aligned, sorted, apart, hold exactly the file bytes of
// their range, and the cache keeps within its bound.
void CheckBlocks(const bs100MMemRead& reader, uint64_t length) {
    const int64_t blockSize = reader.BlockSize();
    const std::vector<bs100MMemRead::BlockView> blocks = reader.CachedBlocks();
    FUZZ_CHECK(blocks.size() + reader.SpareBlockCount() <= reader.MaxCachedBlocks());
    int64_t previousEnd = 0;
    for (const bs100MMemRead::BlockView& block : blocks) {
        FUZZ_CHECK(block.start % blockSize == 0);
        FUZZ_CHECK(block.start >= previousEnd);
        FUZZ_CHECK(block.validLength > 0);
        FUZZ_CHECK(block.validLength ==
                   std::min(blockSize, static_cast<int64_t>(length) - block.start));
        previousEnd = block.start + block.validLength;
    }
}

// Two readers over one cache, each with its own place and model of the file.
struct Readers {
    bs100MMemRead& first;
    bs100MMemRead& second;
    ReaderModel& firstModel;
    ReaderModel& secondModel;
};

void Apply(uint8_t operation, FuzzInput& input, Readers& readers, ReaderFile& file,
           FakeClock& clock) {
    // The top bit picks the reader; the other one holds its block meanwhile.
    const bool second = (operation & 0x80) != 0;
    bs100MMemRead& reader = second ? readers.second : readers.first;
    bs100MMemRead& other = second ? readers.first : readers.second;
    ReaderModel& model = second ? readers.secondModel : readers.firstModel;
    switch ((operation & 0x7F) % kOperationCount) {
        case kReadAhead:
            reader.ReadAhead(input.Take<uint32_t>());
            break;
        case kReadAheadAll:
            reader.ReadAhead(std::numeric_limits<uint64_t>::max() - input.Take<uint8_t>());
            break;
        case kSetBlockSize: {
            // A shared cache keeps its size while another reader holds a block.
            const int64_t before = reader.BlockSize();
            const int64_t request = BlockSizeRequest(input);
            reader.SetBlockSize(request);
            const bool otherHolds = other.SharedCache()->HeldBlockCount() != 0;
            FUZZ_CHECK(reader.BlockSize() == (otherHolds ? before : ClampedBlockSize(request)));
            FUZZ_CHECK(otherHolds ||
                       (reader.CachedBlocks().empty() && reader.SpareBlockCount() == 0));
            break;
        }
        case kLoadBlock:
            FUZZ_CHECK(reader.LoadBlock() == (model.Position() < model.Size()));
            break;
        case kCutFile: {
            const uint64_t length = input.Take<uint32_t>() % (model.Size() + 1);
            file.Cut(length);
            readers.firstModel.ForgetFrom(length);
            readers.secondModel.ForgetFrom(length);
            break;
        }
        case kAdvanceClock:
            // Up to about 4 minutes a step: past the age rule's 10 s and 100 s.
            clock.Advance(uint32_t{input.Take<uint16_t>()} * 4);
            break;
        default:
            reader_operations::Apply((operation & 0x7F) % kOperationCount, input, reader, model);
            break;
    }
    readers.firstModel.CheckPosition(readers.first);
    readers.secondModel.CheckPosition(readers.second);
    CheckBlocks(reader, model.Size());
}

}  // namespace

// Input: a shape byte (modulo 3 the whole MiB of file, bit 7 no source file
// at all), an i16 added to that length, an i16 block size request, then
// operations, each on one of two bs100MMemRead sharing one cache over a
// pattern file of that length. The clock starts at the program's start time
// and moves only by the input.
void FuzzBlockCacheReader(const uint8_t* data, size_t size) {
    static ReaderFile file;
    FakeClock clock(/*now=*/0, /*processStart=*/0);
    FuzzInput input(data, size);
    const auto shape = input.Take<uint8_t>();
    const int64_t wanted = (shape % 3) * kMiB + input.Take<int16_t>();
    const auto length = static_cast<size_t>(std::max<int64_t>(wanted, 0));
    const bool withoutSource = (shape & 0x80) != 0;

    bsFileRead source(file.Prepare(length).wstring(), L"rb");
    auto cache = std::make_shared<BlockCache>(withoutSource ? nullptr : &source);
    bs100MMemRead first(cache);
    bs100MMemRead second(cache);
    const std::span<const uint8_t> bytes =
        withoutSource ? std::span<const uint8_t>{} : std::span(FileBytes()).first(length);
    ReaderModel firstModel(bytes);
    ReaderModel secondModel(bytes);
    const int64_t request = BlockSizeRequest(input);
    first.SetBlockSize(request);
    FUZZ_CHECK(first.BlockSize() == ClampedBlockSize(request));
    Readers readers{first, second, firstModel, secondModel};
    while (!input.Empty())
        Apply(input.Take<uint8_t>(), input, readers, file, clock);
}
