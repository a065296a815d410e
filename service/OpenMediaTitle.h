#pragma once

#include "archive/bsMemRead.h"
#include "catalogue/Catalogue.h"
#include "service/ClientSession.h"

// 25605: opens an ordinary media title on the session, chooses its video,
// audio and subtitle streams, prepares the video for the headset's decoder
// and describes all of it and every stream of the file.
void OpenMediaTitle(bsMemRead& request, ClientSession& session, const Catalogue& catalogue);
