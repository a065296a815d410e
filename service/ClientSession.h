#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "archive/bs100MMemRead.h"
#include "platform/FfmpegHandles.h"
#include "platform/Socket.h"
#include "service/OutgoingReply.h"
#include "service/PackagedFiles.h"
#include "service/SessionActivity.h"
#include "streaming/StreamPreparation.h"

// An ordinary media title open on a session. The members go in reverse
// order: the demultiplexer is closed first, then the preparation that points
// into it frees its filters.
struct OpenMediaFile {
    StreamPreparation streamPrep;
    FormatContextPtr formatContext;
    // A read error of this title has been reported to the operator.
    bool readErrorReported = false;
};

// A packaged movie title open on a session: the session's own reader, with
// its position and read-ahead, over the title's file and block cache, which
// every session on the title shares.
struct OpenPackagedFile {
    OpenPackagedFile(std::shared_ptr<BlockCache> cache, int32_t title)
        : cacheReader(std::move(cache)), titleIndex(title) {}

    bs100MMemRead cacheReader;
    // The title the reader was opened for.
    int32_t titleIndex;
};

// What the loop's next wait watches a connection for.
enum class SessionWatch {
    Nothing,   // its request is in hand, or the reply budget holds it back
    Request,   // its next request
    Room,      // room in the socket for the next piece of its reply
    PieceDue,  // the pacing's wait for the next piece; the socket is not watched
};

// One headset connection and what it has open: an ordinary media title
// and/or a packaged movie title. The connection is declared first, so that
// it closes only after the titles are released.
struct ClientSession {
    explicit ClientSession(platform::Socket connection, const std::atomic<bool>* stop = nullptr,
                           PackagedFiles* shared = nullptr)
        : socket(std::move(connection)), stopFlag(stop), packagedFiles(shared) {}
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    platform::Socket socket;
    std::optional<OpenPackagedFile> packaged;
    std::optional<OpenMediaFile> media;
    // The title last opened on this connection; -1 when none.
    int32_t titleIndex = -1;
    // Raised when the service stops: long reads give up at once.
    const std::atomic<bool>* stopFlag = nullptr;
    // The packaged titles the service's sessions have open; without it, the
    // session opens its titles for itself.
    PackagedFiles* packagedFiles = nullptr;

    // A media thread is handling the connection's request, or reading the
    // file bytes the reply sends next. Until it hands the session back, the
    // loop neither reads from the connection nor touches the titles, the
    // reply or the activity.
    bool requestInHand = false;
    // What the reply budget keeps for the reply while the request is in hand.
    size_t replyRoomKept = 0;
    // The reply on its way, when there is one. The connection's next request
    // is read only once it has gone out whole, so replies keep their order.
    std::optional<OutgoingReply> reply;
    // The earliest moment for the next piece of a reply: one connection's
    // pieces go at least 1 ms apart, whatever else the worker is doing.
    std::chrono::steady_clock::time_point nextPieceAt{};
    // TimeGetTime when the reply was queued or last moved.
    uint32_t replyMovedAt = 0;
    // For the operator's lines about this connection.
    SessionActivity activity;

    // TimeGetTime when the connection was accepted, and when it last sent a
    // request the service knows: one that never sent any is let go after a
    // while, and when descriptors run out, the one silent longest goes first.
    uint32_t acceptedAt = 0;
    uint32_t lastAskedAt = 0;
    bool hasAsked = false;
    // The media thread could not handle the request (no thread, or no
    // memory): the loop ends the connection rather than leave it unanswered.
    bool requestFailed = false;
    SessionWatch watchedFor = SessionWatch::Nothing;
};

// Releases the session's open titles, keeps its connection: the media title
// first, then the packaged one.
void CloseMedia(ClientSession& session);
