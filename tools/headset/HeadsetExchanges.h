#pragma once

#include <span>
#include <string>
#include <vector>

#include "tools/headset/HeadsetConnection.h"
#include "tools/headset/HeadsetReplies.h"
#include "tools/headset/HeadsetRequests.h"

// One request and its parsed reply each. The result is empty when the reply
// arrived well formed (whatever its status), else it says what went wrong.
namespace headset {

std::string DescribeTitle(HeadsetConnection& connection, int32_t titleIndex, TitleDescription& out);
std::string OpenMedia(HeadsetConnection& connection, int32_t titleIndex, OpenedMedia& out);
std::string FetchBatch(HeadsetConnection& connection, const BatchRequest& request,
                       PacketBatch& out);
std::string FetchPackaged(HeadsetConnection& connection, int32_t titleIndex, int32_t firstRecord,
                          std::span<const ChunkRequest> chunks, PackagedData& out);
// The raw reply of 25602: its header block can only be told apart once the
// records are known.
std::string OpenPackaged(HeadsetConnection& connection, int32_t titleIndex,
                         std::vector<uint8_t>& payload, OpenedPackage& counts);

// Every index record of a packaged title, fetched from the first on.
std::string FetchAllRecords(HeadsetConnection& connection, int32_t titleIndex,
                            std::vector<uint8_t>& records);

// What a failure status of a reply means, for messages.
std::string StatusMeaning(int32_t requestCode, int32_t status);

// True when the title's name says it is a packaged movie rather than a
// file the server demultiplexes.
bool IsPackagedTitle(const std::string& title);

}  // namespace headset
