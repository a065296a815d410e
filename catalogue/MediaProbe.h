#pragma once

#include <string>

// Probes an ordinary media file with FFmpeg and appends its entry to
// `catalogue` when it has a decodable video stream of positive size.
void ProbeMediaFile(const std::wstring& path, const std::string& title);
