#include "tools/headset/HeadsetExchanges.h"

#include <algorithm>
#include <cstdint>

#include "protocol/RequestCodes.h"

namespace headset {
namespace {

template <class Reply, class Payload>
std::string ExchangeParsed(HeadsetConnection& connection, const std::vector<uint8_t>& request,
                           std::string (*parse)(Payload, Reply&), Reply& out) {
    std::vector<uint8_t> payload;
    std::string error;
    if (!connection.Exchange(request, payload, error))
        return error;
    return parse(std::move(payload), out);
}

struct StatusText {
    int32_t requestCode;
    int32_t status;
    const char* meaning;
};

constexpr StatusText kStatusTexts[] = {
    {kDescribeTitleRequest, kDescribeStatusInvalidTitle, "no such title"},
    {kDescribeTitleRequest, kDescribeStatusTitleTooLong, "the title's name is too long to send"},
    {kOpenPackagedTitleRequest, kPackagedStatusInvalidTitle, "no such title"},
    {kOpenPackagedTitleRequest, kPackagedStatusCannotRead, "the server cannot read the file"},
    {kFetchPackagedDataRequest, kPackagedStatusInvalidTitle, "no such title"},
    {kFetchPackagedDataRequest, kPackagedStatusCannotRead, "the server cannot read the file"},
    {kFetchPacketBatchRequest, kBatchStatusNoMediaOpen, "no media file is open on the connection"},
    {kOpenMediaTitleRequest, kOpenMediaStatusOpenFailed, "the server cannot open the file"},
    {kOpenMediaTitleRequest, kOpenMediaStatusStreamInfoFailed,
     "the server cannot read the file's streams"},
    {kOpenMediaTitleRequest, kOpenMediaStatusInvalidTitle, "no such title"},
};

}  // namespace

std::string DescribeTitle(HeadsetConnection& connection, int32_t titleIndex,
                          TitleDescription& out) {
    return ExchangeParsed(connection, DescribeTitleRequest(titleIndex), ParseTitleDescription, out);
}

std::string OpenMedia(HeadsetConnection& connection, int32_t titleIndex, OpenedMedia& out) {
    return ExchangeParsed(connection, OpenMediaRequest(titleIndex), ParseOpenedMedia, out);
}

std::string FetchBatch(HeadsetConnection& connection, const BatchRequest& request,
                       PacketBatch& out) {
    return ExchangeParsed(connection, PacketBatchRequest(request), ParsePacketBatch, out);
}

std::string FetchPackaged(HeadsetConnection& connection, int32_t titleIndex, int32_t firstRecord,
                          std::span<const ChunkRequest> chunks, PackagedData& out) {
    return ExchangeParsed(connection, FetchPackagedRequest(titleIndex, firstRecord, chunks),
                          ParsePackagedData, out);
}

std::string OpenPackaged(HeadsetConnection& connection, int32_t titleIndex,
                         std::vector<uint8_t>& payload, OpenedPackage& counts) {
    std::string error;
    if (!connection.Exchange(OpenPackagedRequest(titleIndex), payload, error))
        return error;
    return ParseOpenedPackageCount(payload, counts);
}

std::string FetchAllRecords(HeadsetConnection& connection, int32_t index,
                            std::vector<uint8_t>& records) {
    for (;;) {
        // A record count is a signed 32-bit value; a server that sends more
        // records than that is broken, not generous.
        const size_t fetched = records.size() / protocol::kIndexRecordBytes;
        if (fetched >= static_cast<size_t>(INT32_MAX))
            return "the server sends more records than a title can have";
        const auto next = static_cast<int32_t>(fetched);
        PackagedData reply;
        const std::string error = FetchPackaged(connection, index, next, {}, reply);
        if (!error.empty())
            return "records from " + std::to_string(next) + ": " + error;
        if (reply.status != kStatusSuccess)
            return StatusMeaning(kFetchPackagedDataRequest, reply.status);
        if (reply.records.empty())
            return {};
        records.insert(records.end(), reply.records.begin(), reply.records.end());
    }
}

std::string StatusMeaning(int32_t requestCode, int32_t status) {
    for (const StatusText& text : kStatusTexts) {
        if (text.requestCode == requestCode && text.status == status)
            return text.meaning;
    }
    return "status " + std::to_string(status);
}

bool IsPackagedTitle(const std::string& title) {
    if (title.size() < 4)
        return false;
    std::string extension = title.substr(title.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    return extension == ".vrm" || extension == ".vrw";
}

}  // namespace headset
