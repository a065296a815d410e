#include <cstdio>
#include <filesystem>
#include <optional>

#include "protocol/RequestCodes.h"
#include "protocol/ServiceConstants.h"
#include "tools/headset/Commands.h"
#include "tools/headset/HeadsetExchanges.h"
#include "tools/headset/MediaDescription.h"
#include "tools/headset/ThumbnailPng.h"

namespace headset {
namespace {

constexpr const char* kName = "list";
// The server has at most a few dozen titles; this only bounds a broken one.
constexpr int32_t kMaxTitles = 100000;

std::string ThumbnailPath(const std::filesystem::path& folder, int32_t index) {
    return (folder / ("title-" + std::to_string(index) + ".png")).string();
}

void PrintTitle(int32_t index, const TitleDescription& title) {
    std::printf("title %d: %s\n", index, title.title.c_str());
    std::printf("  thumbnail %dx%d, %zu bytes\n", title.thumbWidth, title.thumbHeight,
                title.thumbnail.size());
}

// The server's own view of an ordinary media file, as a headset gets it
// before it plays the title.
std::string PrintMedia(HeadsetConnection& connection, int32_t index) {
    OpenedMedia media;
    const std::string error = OpenMedia(connection, index, media);
    if (!error.empty())
        return error;
    if (media.status != kStatusSuccess) {
        std::printf("  cannot be played: %s\n",
                    StatusMeaning(kOpenMediaTitleRequest, media.status).c_str());
        return {};
    }
    for (const std::string& line : DescribeMedia(media))
        std::printf("  %s\n", line.c_str());
    return {};
}

}  // namespace

int RunList(CommandArguments& arguments) {
    const std::optional<std::string> thumbs = arguments.TakeValue("--thumbs");
    const CommandArguments::ServerAddress server = arguments.ServerOnly();
    if (arguments.Failed())
        return UsageError(kName, arguments.Error());
    if (thumbs) {
        std::error_code failure;
        std::filesystem::create_directories(*thumbs, failure);
        if (failure)
            return Failure(kName, "cannot create " + *thumbs + ": " + failure.message());
    }

    std::string error;
    std::optional<HeadsetConnection> connection =
        HeadsetConnection::Open(server.host, server.port, 5000, error);
    if (!connection)
        return Failure(kName, error);

    int32_t index = 0;
    for (; index < kMaxTitles; ++index) {
        TitleDescription title;
        error = DescribeTitle(*connection, index, title);
        if (!error.empty())
            return Failure(kName, "title " + std::to_string(index) + ": " + error);
        if (title.status == 2)
            break;
        if (title.status != kStatusSuccess) {
            std::printf("title %d: %s\n", index,
                        StatusMeaning(kDescribeTitleRequest, title.status).c_str());
            continue;
        }
        PrintTitle(index, title);
        if (thumbs) {
            const std::string path = ThumbnailPath(*thumbs, index);
            error = WriteThumbnailPng(title.thumbnail, title.thumbWidth, title.thumbHeight, path);
            if (!error.empty())
                return Failure(kName, error);
            std::printf("  thumbnail written to %s\n", path.c_str());
        }
        if (IsPackagedTitle(title.title)) {
            std::printf("  packaged movie\n");
            continue;
        }
        error = PrintMedia(*connection, index);
        if (!error.empty())
            return Failure(kName, "title " + std::to_string(index) + ": " + error);
    }
    std::printf("%d title%s\n", index, index == 1 ? "" : "s");
    return kExitSuccess;
}

}  // namespace headset
