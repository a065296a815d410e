#include <unistd.h>
#include <filesystem>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdint>
#include <span>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "FuzzTitles.h"
#include "ReplyDrain.h"
#include "platform/PathBytes.h"
#include "protocol/RequestCodes.h"
#include "protocol/Requests.h"
#include "service/HandleRequest.h"
#include "support/TempDir.h"
#include "support/WholeReply.h"

namespace {

constexpr size_t kLongestRequest = 8191;  // one recv of the connection loop
constexpr size_t kMostRequestsPerInput = 16;

// Built on the first input and kept for the whole run. Every input starts
// from a fresh copy of the same titles, which handlers stamp.
struct Fixture {
    Fixture() {
        av_log_set_level(AV_LOG_QUIET);
        titles = BuildFuzzCatalogue(dir.Path());
    }
    TempDir dir;
    Catalogue titles;
    ReplyDrain headset;
};

// A field read the way handlers read it: a request too short for it leaves
// the preset in the bytes it does not reach.
int32_t Field(std::span<const uint8_t> request, size_t offset, int32_t preset) {
    auto value = static_cast<uint32_t>(preset);
    for (size_t i = 0; i < 4 && offset + i < request.size(); ++i) {
        value &= ~(uint32_t{0xFF} << (8 * i));
        value |= uint32_t{request[offset + i]} << (8 * i);
    }
    return static_cast<int32_t>(value);
}

bool IsKnownStatus(int32_t code, int32_t status) {
    if (code == kOpenMediaTitleRequest)
        return status == 0 || status == 2 || status == 4 || status == 5;
    return status >= 0 && status <= 2;
}

int32_t DefaultTitle(int32_t code) {
    return code == kDescribeTitleRequest ? -1 : 0;
}

int32_t InvalidTitleStatus(int32_t code) {
    return code == kOpenMediaTitleRequest ? 5 : 2;
}

// What the protocol promises for any request, whatever its fields hold.
void CheckReplies(std::span<const uint8_t> request, bool mediaWasOpen, const Catalogue& catalogue,
                  const std::vector<ReplyHead>& replies) {
    const int32_t code = Field(request, 0, 0);
    if (code < kDescribeTitleRequest || code > kOpenMediaTitleRequest) {
        FUZZ_CHECK(replies.empty());
        return;
    }
    FUZZ_CHECK(replies.size() == 1);
    const ReplyHead& reply = replies.front();
    FUZZ_CHECK(reply.code == ReplyCodeFor(code));
    FUZZ_CHECK(IsKnownStatus(code, reply.status));
    if (code == kFetchPacketBatchRequest) {
        FUZZ_CHECK((reply.status == 2) == !mediaWasOpen);
        return;
    }
    // Every other failure reply ends after its status.
    FUZZ_CHECK(reply.status == kStatusSuccess || reply.length == 12);
    const int32_t title = Field(request, 4, DefaultTitle(code));
    FUZZ_CHECK((reply.status == InvalidTitleStatus(code)) ==
               !protocol::IsValidTitleIndex(title, catalogue.size()));
    if (code == kDescribeTitleRequest && protocol::IsValidTitleIndex(title, catalogue.size())) {
        const bool tooLong = catalogue[static_cast<size_t>(title)].title.size() >= 1024;
        FUZZ_CHECK((reply.status == 1) == tooLong);
    }
}

// The size of the title's file as the system tells it; 0 when it has none.
uint64_t FileSize(const CatalogueEntry& entry) {
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(platform::PathToOsBytes(entry.path), error);
    return error ? 0 : size;
}

void CheckSession(ClientSession& session, const Catalogue& catalogue) {
    // An open packaged title is one of the catalogue's, its cache over its file.
    FUZZ_CHECK(!session.packaged ||
               protocol::IsValidTitleIndex(session.packaged->titleIndex, kFuzzTitleCount));
    FUZZ_CHECK(!session.packaged ||
               session.packaged->cacheReader.Size() ==
                   FileSize(catalogue[static_cast<size_t>(session.packaged->titleIndex)]));
    // Open media has its demultiplexer, and the preparation points into it.
    FUZZ_CHECK(!session.media ||
               (session.media->formatContext &&
                session.media->streamPrep.formatContext == session.media->formatContext.get()));
}

}  // namespace

// Input: up to 16 requests, each a u16 length (taken modulo 8192) and that
// many bytes, handled in turn on one fresh session.
void FuzzHandleRequest(const uint8_t* data, size_t size) {
    static Fixture fixture;
    Catalogue catalogue = fixture.titles;
    ClientSession session(platform::Socket(dup(fixture.headset.SessionEnd())));
    FUZZ_CHECK(session.socket.IsValid());
    FuzzInput input(data, size);
    for (size_t i = 0; i < kMostRequestsPerInput && !input.Empty(); ++i) {
        const std::span<const uint8_t> request =
            input.TakeBytes(input.Take<uint16_t>() % (kLongestRequest + 1));
        if (request.empty())
            continue;  // a connection never receives an empty request
        const bool mediaWasOpen = session.media.has_value();
        bsMemRead reader(request.data(), request.size());
        HandleRequest(reader, session, catalogue);
        FUZZ_CHECK(SendWholeReply(session));
        CheckReplies(request, mediaWasOpen, catalogue, fixture.headset.TakeReplies());
        CheckSession(session, catalogue);
    }
}
