#pragma once

#include "archive/iArc.h"

// A writing archive. It adds no operation of its own.
class iStoreArc : public iArc {
public:
    bool IsStoring() override { return true; }
};
