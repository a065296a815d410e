#pragma once

#include "archive/bsMemRead.h"
#include "catalogue/Catalogue.h"
#include "service/ClientSession.h"

// 25602: opens a packaged movie title on the session and sends its header
// block with the first index records.
void OpenPackagedTitle(bsMemRead& request, ClientSession& session, const Catalogue& catalogue);

// 25603: sends index records from a given record on, and the byte ranges of
// the data region the headset asks for.
void FetchPackagedData(bsMemRead& request, ClientSession& session, const Catalogue& catalogue);

// The largest replies the two may make for a title of `catalogue`.
size_t LargestPackagedOpening(const Catalogue& catalogue);
size_t LargestPackagedFetch(const Catalogue& catalogue);
