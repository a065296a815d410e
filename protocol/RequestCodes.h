#pragma once

#include <cstdint>

// Request codes from the headset; each reply code is the request code + 0x2000.
constexpr int32_t kDescribeTitleRequest = 25601;
constexpr int32_t kOpenPackagedTitleRequest = 25602;
constexpr int32_t kFetchPackagedDataRequest = 25603;
constexpr int32_t kFetchPacketBatchRequest = 25604;
constexpr int32_t kOpenMediaTitleRequest = 25605;
constexpr int32_t kReplyCodeOffset = 8192;

constexpr int32_t ReplyCodeFor(int32_t requestCode) {
    return requestCode + kReplyCodeOffset;
}

// Status 0 is success in every reply; the others depend on the reply.
constexpr int32_t kStatusSuccess = 0;

// 33793, a title's name and thumbnail.
constexpr int32_t kDescribeStatusTitleTooLong = 1;
constexpr int32_t kDescribeStatusInvalidTitle = 2;

// 33794 and 33795, the packaged title's header, records and data. The file
// could not be read: nothing of the reply is sent, nor anything in its place.
constexpr int32_t kPackagedStatusCannotRead = 1;
constexpr int32_t kPackagedStatusInvalidTitle = 2;

// 33796, a batch of packets.
constexpr int32_t kBatchStatusEndOfMedia = 1;
constexpr int32_t kBatchStatusNoMediaOpen = 2;

// 33797, the opened media title.
constexpr int32_t kOpenMediaStatusOpenFailed = 2;
constexpr int32_t kOpenMediaStatusStreamInfoFailed = 4;
constexpr int32_t kOpenMediaStatusInvalidTitle = 5;
