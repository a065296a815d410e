#include "service/ServiceState.h"

std::vector<platform::Socket> listenSockets;
std::vector<platform::Socket> discoverySockets;
std::vector<platform::Ipv4Address> localAddresses;
bsMemWrite announcement;
std::vector<platform::Ipv4Address> discoveryAddresses;
std::vector<std::vector<uint8_t>> discoveryAnnouncements;
std::vector<std::unique_ptr<ClientSession>> sessions;

std::atomic<bool> stopRequested{false};
std::atomic<bool> workerRunning{false};
uint32_t lastBroadcast = 0;

std::thread workerThread;
