#pragma once

#include <cstdint>
#include <memory>

#include "archive/bs100MMemRead.h"
#include "archive/bsFileRead.h"
#include "catalogue/FfmpegHandles.h"
#include "platform/Socket.h"
#include "streaming/StreamPreparation.h"

// One headset connection and the title it has open: an ordinary media file
// (formatContext with streamPrep) and/or a packaged movie file (fileReader
// with cacheReader over it).
struct ClientSession {
    explicit ClientSession(platform::Socket connection) : socket(std::move(connection)) {}
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    FormatContextPtr formatContext;
    std::unique_ptr<bsFileRead> fileReader;
    std::unique_ptr<bs100MMemRead> cacheReader;  // never set without fileReader
    std::unique_ptr<StreamPreparation> streamPrep;
    platform::Socket socket;
    int32_t titleIndex = -1;
    // The title the fileReader/cacheReader pair was opened for; -1 without a pair.
    int32_t readerTitleIndex = -1;
};

// Releases the session's open title, keeps its connection. The demultiplexer
// goes before the stream preparation that points into it, and the block
// cache before the file reader it reads from.
void CloseMedia(ClientSession& session);
