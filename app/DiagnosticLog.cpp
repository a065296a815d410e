#include "app/DiagnosticLog.h"

#include <cstdarg>
#include <cstdint>
#include <cwchar>
#include <vector>

#include "archive/bsFileWrite.h"

namespace {

constexpr size_t kFormatCapacity = 2048;
constexpr uint16_t kByteOrderMark = 0xFEFF;

void AppendUnit(std::vector<uint8_t>& bytes, uint32_t unit) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
}

// The little-endian UTF-16 bytes of a wide (UTF-32) string; values outside
// Unicode become U+FFFD.
std::vector<uint8_t> Utf16LittleEndian(std::wstring_view text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (const wchar_t c : text) {
        uint32_t code = static_cast<uint32_t>(c);
        if (code > 0x10FFFF)
            code = 0xFFFD;
        if (code >= 0x10000) {
            code -= 0x10000;
            AppendUnit(bytes, 0xD800 + (code >> 10));
            AppendUnit(bytes, 0xDC00 + (code & 0x3FF));
        } else {
            AppendUnit(bytes, code);
        }
    }
    return bytes;
}

}  // namespace

void DiagnosticLogFile::StartOnce() {
    if (started_)
        return;
    started_ = true;
    bsFileWrite file(path_, L"w+b");
    uint16_t mark = kByteOrderMark;
    file.Serialize(mark);
}

bool DiagnosticLogFile::WriteLine(std::wstring_view message) {
    StartOnce();
    std::vector<uint8_t> line = Utf16LittleEndian(message);
    if (line.size() / 2 > kMaxMessageLength)
        return false;
    AppendUnit(line, u'\r');
    AppendUnit(line, u'\n');
    bsFileWrite file(path_, L"ab");
    if (file.IsOpen())
        file.SerializeBytes(line.data(), line.size());
    return true;
}

bool WriteDiagnosticLog(const wchar_t* format, ...) {
    static DiagnosticLogFile processLog(L"log_OK_M.log");
    processLog.StartOnce();

    wchar_t message[kFormatCapacity] = {};
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vswprintf(message, kFormatCapacity, format, arguments);
    va_end(arguments);
    if (length < 0)
        return false;  // too long for the buffer, or not encodable
    return processLog.WriteLine(std::wstring_view(message, static_cast<size_t>(length)));
}
