#pragma once

#include <string>
#include <variant>

#include "catalogue/CatalogueEntry.h"

// Why a path did not become a title.
enum class SkipKind {
    NoFileName,        // too short, or nothing after its last separator
    Missing,           // no such file
    CannotOpen,        // the file exists but does not open (detail: the system's text)
    NotMediaFile,      // FFmpeg cannot read it (detail: FFmpeg's text)
    NoVideoStream,     // no video stream of positive size
    NoDecoder,         // its video stream has no decoder that opens (detail: the codec)
    FieldOutOfRange,   // a packaged movie's header field (detail: the field and value)
    BeyondTitleLimit,  // after the first MAX_TITLES paths
    NoVideosInFolder,  // a folder with no video file in it or in its subfolders
    NotRegularFile,    // a FIFO, a device or a socket (detail: which)
    CannotRead,        // a read failed (detail: where and why)
    ReplyTooLarge,     // a reply about it could never be sent (detail: which, how large)
};

struct SkipReason {
    SkipKind kind = SkipKind::Missing;
    std::string detail;
};

// The reason in words, for the operator: "missing", "not a media file:
// Invalid data found when processing input", ...
std::string DescribeSkipReason(const SkipReason& reason);

// What probing one path gives: its entry, or why there is none.
using TitleOrReason = std::variant<CatalogueEntry, SkipReason>;
