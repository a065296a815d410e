#pragma once

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "archive/bsMemWrite.h"
#include "platform/LocalAddresses.h"
#include "platform/Socket.h"
#include "service/ClientSession.h"

// The one service of the process. The user-interface thread fills it before
// it starts the worker and empties it only after the worker has ended; while
// the worker runs, only the worker touches it.

extern std::vector<platform::Socket> listenSockets;
extern std::vector<platform::Socket> discoverySockets;
// Every address the lookup found, bound or not, in lookup order.
extern std::vector<platform::Ipv4Address> localAddresses;
// The discovery datagram, built once per start, with the first address of
// localAddresses first.
extern bsMemWrite announcement;
// For each entry of discoverySockets, at the same position: the address it
// is bound to, and the datagram it sends, which carries that address first
// so that a headset on that address's network reads one it can reach.
extern std::vector<platform::Ipv4Address> discoveryAddresses;
extern std::vector<std::vector<uint8_t>> discoveryAnnouncements;
// Open connections in the order they were accepted.
extern std::vector<std::unique_ptr<ClientSession>> sessions;

extern std::atomic<bool> stopRequested;
extern std::atomic<bool> workerRunning;
// TimeGetTime of the last announcement; 0 at program start, never reset.
extern uint32_t lastBroadcast;

// The worker thread, joined by StopVideoService once it has left its loop.
extern std::thread workerThread;
