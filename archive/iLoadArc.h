#pragma once

#include "archive/iArc.h"

// A reading archive: adds the readable size, the end test and seeking.
class iLoadArc : public iArc {
public:
    virtual uint64_t Size() = 0;
    // True once the position has reached the size (both unsigned).
    bool IsEnd();
    // origin: 0 from the start, 1 from the current position, 2 from the end.
    virtual bool Seek(int64_t offset, int origin) = 0;

    bool IsStoring() override { return false; }
};
