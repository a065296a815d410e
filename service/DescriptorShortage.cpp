#include "service/DescriptorShortage.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/Clock.h"
#include "platform/OperatorLog.h"
#include "service/ServiceState.h"
#include "service/SessionRelease.h"
#include "service/SilentConnections.h"

namespace {

constexpr size_t kLeastReserve = 16;
constexpr uint32_t kPauseMs = 1000;

std::string Reason(const ServiceState& state, int error) {
    if (error == 0) {
        return std::to_string(state.sessions.size()) + " connections, the most kept below the " +
               "descriptor limit";
    }
    return std::to_string(state.sessions.size()) + " connections; " + std::strerror(error);
}

void PauseListeners(ServiceState& state) {
    DescriptorShortage& shortage = state.shortage;
    shortage.listenersPaused = true;
    shortage.pausedAt = platform::TimeGetTime();
    if (shortage.toldNothingToClose)
        return;
    shortage.toldNothingToClose = true;
    platform::LogForOperator(
        "every connection has a title open: new connections wait until one closes");
}

}  // namespace

size_t SessionCapFor(size_t descriptorLimit) {
    const size_t reserve = std::max(kLeastReserve, descriptorLimit / 8);
    return descriptorLimit > reserve ? descriptorLimit - reserve : 1;
}

bool MakeRoomForConnection(ServiceState& state, int error) {
    DescriptorShortage& shortage = state.shortage;
    if (!shortage.ongoing) {
        shortage.ongoing = true;
        platform::LogForOperator("no descriptor left for a new connection (" +
                                 Reason(state, error) +
                                 "): closing the connections silent longest with no title open");
    }
    ClientSession* quietest = LongestSilentWithoutTitle(state);
    if (quietest == nullptr) {
        PauseListeners(state);
        return false;
    }
    ++shortage.closedForRoom;
    ReleaseSessions(state, {{quietest, ReleaseReason::MadeRoom}});
    return true;
}

void EndDescriptorShortage(ServiceState& state) {
    DescriptorShortage& shortage = state.shortage;
    if (!shortage.ongoing)
        return;
    platform::LogForOperator("descriptors free again: " + std::to_string(shortage.closedForRoom) +
                             " silent connections were closed for new ones");
    shortage = {};
}

bool ListenersPaused(ServiceState& state) {
    DescriptorShortage& shortage = state.shortage;
    if (shortage.listenersPaused &&
        static_cast<uint32_t>(platform::TimeGetTime() - shortage.pausedAt) >= kPauseMs) {
        shortage.listenersPaused = false;
    }
    return shortage.listenersPaused;
}
