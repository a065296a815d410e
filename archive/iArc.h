#pragma once

#include <cstdint>
#include <string>

// A byte stream that serves both directions with one set of operations: the
// call sequence that writes a record into a writing archive reads it back
// from a reading archive. Values travel as their little-endian in-memory
// bytes, with no tags, lengths or padding of their own.
class iArc {
public:
    virtual ~iArc() = default;

    virtual bool IsStoring() = 0;
    // Reading: copies the next bytes into `data`; writing: appends them.
    virtual iArc& SerializeBytes(void* data, uint64_t count) = 0;
    virtual uint64_t Tell() = 0;
    virtual std::wstring ClassName() { return L"iArc"; }

    iArc& Serialize(double& value);
    iArc& Serialize(float& value);
    iArc& Serialize(uint16_t& value);
    iArc& Serialize(int16_t& value);
    iArc& Serialize(uint8_t& value);
    iArc& Serialize(int8_t& value);
    iArc& Serialize(uint64_t& value);
    iArc& Serialize(int64_t& value);
    iArc& Serialize(uint32_t& value);
    iArc& Serialize(int32_t& value);
    iArc& Serialize(bool& value);

protected:
    iArc() = default;
    iArc(const iArc&) = delete;
    iArc& operator=(const iArc&) = delete;
};

static_assert(sizeof(double) == 8 && sizeof(float) == 4 && sizeof(bool) == 1,
              "the archive widths assume IEEE floats and a one-byte bool");
