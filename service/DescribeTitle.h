#pragma once

#include "archive/bsMemRead.h"
#include "catalogue/Catalogue.h"
#include "service/ClientSession.h"

// 25601: the name and the thumbnail of one title. Touches neither the
// session nor the entry.
void DescribeTitle(bsMemRead& request, ClientSession& session, const Catalogue& catalogue);

// The largest reply DescribeTitle may make for a title of `catalogue`.
size_t LargestDescription(const Catalogue& catalogue);
