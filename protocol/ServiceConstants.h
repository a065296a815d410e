#pragma once

#include <cstdint>

// TCP port of every listening socket; also announced and registered.
constexpr uint16_t servicePort = 23107;
// UDP port the discovery sockets are bound to: the announcements' source port.
constexpr uint16_t discoveryLocalPort = 23307;
// UDP port the announcements are broadcast to.
constexpr uint16_t discoveryPort = 12450;
// Leads every discovery datagram, so headsets can tell ours from other traffic.
constexpr uint64_t ANNOUNCE_MAGIC = 0xD6FEDF35363046D8ull;
