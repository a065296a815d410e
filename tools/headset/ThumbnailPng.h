#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace headset {

// Writes a thumbnail as the server sends it (4 bytes a pixel, B G R and an
// unused fourth byte) into a PNG file. Empty on success, else the reason.
std::string WriteThumbnailPng(const std::vector<uint8_t>& bgra, int width, int height,
                              const std::string& path);

}  // namespace headset
