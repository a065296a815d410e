#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "archive/bs100MMemRead.h"
#include "archive/bsFileRead.h"
#include "platform/FfmpegHandles.h"
#include "platform/Socket.h"
#include "streaming/StreamPreparation.h"

// One headset connection and the title it has open: an ordinary media file
// (formatContext with streamPrep) and/or a packaged movie file (fileReader
// with cacheReader over it).
struct ClientSession {
    explicit ClientSession(platform::Socket connection, const std::atomic<bool>* stop = nullptr)
        : socket(std::move(connection)), stopFlag(stop) {}
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
    // Raised when the service stops: long replies and reads give up at once.
    const std::atomic<bool>* stopFlag = nullptr;
    // A read error of the open media title has been reported to the operator.
    bool readErrorReported = false;
};

// Releases the session's open title, keeps its connection. The demultiplexer
// goes before the stream preparation that points into it, and the block
// cache before the file reader it reads from.
void CloseMedia(ClientSession& session);
