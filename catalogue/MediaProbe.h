#pragma once

#include <string>

#include "catalogue/SkipReason.h"

// Probes an ordinary media file with FFmpeg: its entry when it has a
// decodable video stream of positive size, otherwise why not.
TitleOrReason ProbeMediaFile(const std::wstring& path, const std::string& title);
