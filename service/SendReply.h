#pragma once

#include <cstdint>
#include <vector>

// Frames one reply: its length, then the payload padded with zeros so that
// length field and payload fill whole 16-byte units. The payload is padded in
// place and sent in pieces. A failed send drops the rest silently.
void SendReply(int socket, std::vector<uint8_t>& payload);
