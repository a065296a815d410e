#pragma once

#include <sys/socket.h>

#include <array>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include "catalogue/Catalogue.h"
#include "service/ClientSession.h"
#include "service/HandleRequest.h"
#include "support/ProtocolClient.h"
#include "support/WholeReply.h"
#include "tools/headset/HeadsetReplies.h"
#include "tools/headset/HeadsetRequests.h"

// A session whose socket is one end of a socket pair, the other end playing
// the headset. Requests go straight to HandleRequest with `catalogue`, with no
// service running.
class SessionPair {
public:
    explicit SessionPair(Catalogue& catalogue) : SessionPair(catalogue, Ends()) {}

    ClientSession& Session() { return *session_; }
    int Headset() const { return headset_.Descriptor(); }

    // Handles one request on a thread of its own while the headset side reads,
    // so that replies larger than the socket buffer go through.
    std::optional<std::vector<uint8_t>> Exchange(const std::vector<uint8_t>& request,
                                                 int timeoutMs = 5000) {
        auto handled = std::async(std::launch::async, [&] {
            bsMemRead reader(request.data(), request.size());
            HandleRequest(reader, *session_, catalogue_);
            SendWholeReply(*session_);
        });
        headset_.SetTimeout(timeoutMs);
        auto reply = protocol_client::ReadReply(headset_);
        handled.wait();
        return reply;
    }

    // True when the request is handled without any reply.
    bool GetsNoReply(const std::vector<uint8_t>& request) {
        bsMemRead reader(request.data(), request.size());
        HandleRequest(reader, *session_, catalogue_);
        return !session_->reply;
    }

    // The tool's requests, their replies taken apart by its parsers.
    headset::TitleDescription DescribeTitle(int32_t title) {
        return protocol_client::Parsed(headset::ParseTitleDescription,
                                       Exchange(headset::DescribeTitleRequest(title)));
    }
    headset::OpenedMedia OpenMedia(int32_t title = 0) {
        return protocol_client::Parsed(headset::ParseOpenedMedia,
                                       Exchange(headset::OpenMediaRequest(title)));
    }
    headset::PacketBatch FetchBatch(const headset::BatchRequest& request) {
        return protocol_client::Parsed(headset::ParsePacketBatch,
                                       Exchange(headset::PacketBatchRequest(request)));
    }

private:
    static std::array<int, 2> Ends() {
        std::array<int, 2> ends{-1, -1};
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends.data());
        return ends;
    }
    SessionPair(Catalogue& catalogue, std::array<int, 2> ends)
        : catalogue_(catalogue),
          session_(std::make_unique<ClientSession>(platform::Socket(ends[0]))),
          headset_(platform::Socket(ends[1]), 5000) {}

    Catalogue& catalogue_;
    std::unique_ptr<ClientSession> session_;
    headset::HeadsetConnection headset_;
};

// Catalogue entries made by hand, so a test controls every field.
inline CatalogueEntry MediaEntry(const std::string& title, const std::string& mediaPath) {
    CatalogueEntry entry;
    entry.kind = MEDIA_FILE_KIND;
    entry.title = title;
    entry.mediaPath = mediaPath;
    entry.thumbWidth = 300;
    entry.thumbHeight = 150;
    entry.thumbnail.assign(180000, 0);
    for (size_t i = 0; i < entry.thumbnail.size(); ++i) {
        entry.thumbnail[i] = static_cast<uint8_t>(i * 7);
    }
    return entry;
}
