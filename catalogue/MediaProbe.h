#pragma once

#include <atomic>
#include <string>

#include "catalogue/SkipReason.h"

class FramePool;

// What the reader of a file lends its probe: picture buffers kept from the
// titles it read before, and a flag that ends the file's reading at once
// when raised. Either may be left out.
struct ProbeHelp {
    FramePool* frames = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    // Raised when a read of the file failed: the entry stands, but its
    // picture may not be the file's, so it is not worth keeping.
    bool* readFailed = nullptr;
};

// Probes an ordinary media file with FFmpeg: its entry when it has a
// decodable video stream of positive size, otherwise why not.
TitleOrReason ProbeMediaFile(const std::wstring& path, const std::string& title,
                             const ProbeHelp& help = {});
