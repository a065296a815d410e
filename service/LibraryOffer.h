#pragma once

#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "service/ServiceState.h"

// What headsets that are connected see of a library read again: each title
// keeps its index, since their requests address titles by position. A title
// whose file the library still holds is read again in place; one whose file
// is gone stays where it is and answers as a missing file does; the
// library's new titles go after the last one while the title limit leaves
// room, and the others are added to `beyondLimit`.
Catalogue KeepingIndexes(const Catalogue& offered, const Catalogue& library,
                         std::vector<std::wstring>& beyondLimit);

// Offers the library the folders' follower read last, at a pass of the loop:
// as it is while no headset is connected, under KeepingIndexes while one is;
// and, once the last headset has gone, the library as it is, numbered anew
// in the folders' order. Each title added or removed is told to the
// operator, and so are files left out beyond the limit that were not told
// before. Does nothing while the folders are not followed.
void OfferLibraryChanges(ServiceState& state);
