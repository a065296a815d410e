#pragma once

#include <string>
#include <vector>

#include "tools/headset/HeadsetReplies.h"

namespace headset {

// What an open reply says of a title, as lines for people to read.
std::vector<std::string> DescribeMedia(const OpenedMedia& media);

}  // namespace headset
