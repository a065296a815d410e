#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "protocol/RequestCodes.h"
#include "protocol/ServiceConstants.h"
#include "tools/headset/Commands.h"
#include "tools/headset/HeadsetExchanges.h"
#include "tools/headset/PackagedRanges.h"
#include "tools/headset/ProgressLine.h"

namespace headset {
namespace {

constexpr const char* kName = "fetch";
// A first record past every table: the reply then carries chunks only.
constexpr int32_t kNoRecords = INT32_MAX;

struct FetchedTitle {
    std::vector<uint8_t> header;
    std::vector<uint8_t> records;
    uint64_t dataBytes = 0;
    size_t unusableRecords = 0;
};

std::string CheckTitle(HeadsetConnection& connection, int32_t index) {
    TitleDescription title;
    const std::string error = DescribeTitle(connection, index, title);
    if (!error.empty())
        return error;
    if (title.status == 2)
        return "the server has no title " + std::to_string(index);
    if (title.status == kStatusSuccess && !IsPackagedTitle(title.title))
        return "title " + std::to_string(index) + " is not a packaged movie; use play";
    return {};
}

std::string FetchPieces(HeadsetConnection& connection, int32_t index,
                        std::span<const ChunkRequest> pieces, std::ofstream& data,
                        uint64_t& dataBytes) {
    PackagedData reply;
    std::string error = FetchPackaged(connection, index, kNoRecords, pieces, reply);
    if (!error.empty())
        return error;
    if (reply.status != kStatusSuccess)
        return StatusMeaning(kFetchPackagedDataRequest, reply.status);
    if (reply.chunks.size() != pieces.size())
        return "the server served " + std::to_string(reply.chunks.size()) + " of " +
               std::to_string(pieces.size()) + " chunks";
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Chunk& chunk = reply.chunks[i];
        if (chunk.firstTag != pieces[i].firstTag || chunk.secondTag != pieces[i].secondTag ||
            static_cast<int64_t>(chunk.bytes.size()) != pieces[i].end - pieces[i].start)
            return "chunk " + std::to_string(i) + " does not match its request";
        data.write(reinterpret_cast<const char*>(chunk.bytes.data()),
                   static_cast<std::streamsize>(chunk.bytes.size()));
        dataBytes += chunk.bytes.size();
    }
    return data ? std::string{} : "cannot write the data";
}

std::string FetchAllData(HeadsetConnection& connection, int32_t index,
                         const std::vector<ChunkRequest>& pieces, const std::string& path,
                         uint64_t& dataBytes) {
    std::ofstream data(path, std::ios::binary | std::ios::trunc);
    if (!data)
        return "cannot create " + path;
    ProgressLine progress(kName);
    uint64_t requests = 0;
    for (size_t first = 0; first < pieces.size();) {
        const size_t count = PiecesForOneRequest(pieces, first, kLargestReplyData);
        const std::string error = FetchPieces(
            connection, index, std::span(pieces).subspan(first, count), data, dataBytes);
        if (!error.empty())
            return "chunks from " + std::to_string(first) + ": " + error;
        first += count;
        progress.Update(std::to_string(dataBytes / 1000000) + " MB", dataBytes, ++requests);
    }
    progress.Finish(std::to_string(dataBytes / 1000000) + " MB");
    data.close();
    return data ? std::string{} : "cannot write " + path;
}

std::string WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    return file ? std::string{} : "cannot write " + path.string();
}

std::string FetchTitle(HeadsetConnection& connection, int32_t index,
                       const std::filesystem::path& folder, FetchedTitle& title) {
    std::string error = CheckTitle(connection, index);
    if (!error.empty())
        return error;
    std::vector<uint8_t> openReply;
    OpenedPackage opened;
    error = OpenPackaged(connection, index, openReply, opened);
    if (!error.empty())
        return error;
    if (opened.status != kStatusSuccess)
        return StatusMeaning(kOpenPackagedTitleRequest, opened.status);
    error = FetchAllRecords(connection, index, title.records);
    if (!error.empty())
        return error;
    error = ParseOpenedPackage(openReply, title.records, opened);
    if (!error.empty())
        return error;
    title.header = opened.header;
    error = WriteFile(folder / "header.bin", title.header);
    if (error.empty())
        error = WriteFile(folder / "records.bin", title.records);
    if (!error.empty())
        return error;
    const std::vector<ChunkRequest> pieces = DataPieces(title.records, title.unusableRecords);
    return FetchAllData(connection, index, pieces, (folder / "data.bin").string(), title.dataBytes);
}

}  // namespace

int RunFetch(CommandArguments& arguments) {
    const std::optional<std::string> out = arguments.TakeValue("--out");
    const auto [server, index] = arguments.HostAndTitle();
    if (!arguments.Failed() && !out)
        return UsageError(kName, "--out DIR is required");
    if (arguments.Failed())
        return UsageError(kName, arguments.Error());
    std::error_code failure;
    std::filesystem::create_directories(*out, failure);
    if (failure)
        return Failure(kName, "cannot create " + *out + ": " + failure.message());

    std::string error;
    std::optional<HeadsetConnection> connection =
        HeadsetConnection::Open(server.host, server.port, 15000, error);
    if (!connection)
        return Failure(kName, error);
    FetchedTitle title;
    error = FetchTitle(*connection, index, *out, title);
    if (!error.empty())
        return Failure(kName, error);
    if (title.unusableRecords > 0)
        std::fprintf(stderr, "ondu-headset fetch: %zu records name no range the server serves\n",
                     title.unusableRecords);
    std::printf("fetched title %lld: header %zu bytes, %zu records, data %llu bytes, in %s\n",
                static_cast<long long>(index), title.header.size(),
                title.records.size() / protocol::kIndexRecordBytes,
                static_cast<unsigned long long>(title.dataBytes), out->c_str());
    return kExitSuccess;
}

}  // namespace headset
