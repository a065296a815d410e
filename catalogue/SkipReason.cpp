#include "catalogue/SkipReason.h"

namespace {

std::string WithDetail(const char* what, const std::string& detail) {
    return detail.empty() ? std::string(what) : std::string(what) + ": " + detail;
}

}  // namespace

std::string DescribeSkipReason(const SkipReason& reason) {
    switch (reason.kind) {
        case SkipKind::NoFileName:
            return "no file name";
        case SkipKind::Missing:
            return "missing";
        case SkipKind::CannotOpen:
            return WithDetail("cannot be opened", reason.detail);
        case SkipKind::NotMediaFile:
            return WithDetail("not a media file", reason.detail);
        case SkipKind::NoVideoStream:
            return "no video stream";
        case SkipKind::NoDecoder:
            return WithDetail("no decoder for its video", reason.detail);
        case SkipKind::FieldOutOfRange:
            return WithDetail("a header field out of range", reason.detail);
        case SkipKind::BeyondTitleLimit:
            return "beyond the first 32 files";
        case SkipKind::NoVideosInFolder:
            return "a folder with no videos";
        case SkipKind::NotRegularFile:
            return WithDetail("not a regular file", reason.detail);
        case SkipKind::CannotRead:
            return WithDetail("cannot be read", reason.detail);
        case SkipKind::ReplyTooLarge:
            return WithDetail("too large to send", reason.detail);
    }
    return "skipped";
}
