#include "archive/bsFileWrite.h"

bsFileWrite::bsFileWrite(const wchar_t* path, const wchar_t* mode)
    : file_(OpenStdioFile(path, mode)) {}

iArc& bsFileWrite::SerializeBytes(void* data, uint64_t count) {
    if (data != nullptr && file_)
        (void)std::fwrite(data, 1, count, file_.get());
    return *this;
}

uint64_t bsFileWrite::Tell() {
    if (!file_)
        return 0;
    const off_t position = ftello(file_.get());
    return position > 0 ? static_cast<uint64_t>(position) : 0;
}
