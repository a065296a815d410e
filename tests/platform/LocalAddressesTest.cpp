#include <gtest/gtest.h>
#include <net/if.h>

#include "platform/LocalAddresses.h"

namespace {

constexpr unsigned kUp = IFF_UP;
constexpr unsigned kRunning = IFF_UP | IFF_RUNNING;
constexpr unsigned kLoopback = IFF_UP | IFF_RUNNING | IFF_LOOPBACK;

const platform::Ipv4Address kLan{10, 231, 11, 1};
const platform::Ipv4Address kSecondLink{10, 231, 12, 1};
const platform::Ipv4Address kBridge{10, 231, 13, 1};
const platform::Ipv4Address kLo{127, 0, 0, 1};

}  // namespace

TEST(PickLocalAddresses, PrefersRunningInterfacesAndFallsBackToTheUpOnes) {
    struct Case {
        const char* name;
        std::vector<platform::InterfaceAddress> interfaces;
        std::vector<platform::Ipv4Address> expected;
    };
    const std::vector<Case> cases{
        {"a bridge without a link is left out",
         {{kLo, kLoopback}, {kBridge, kUp}, {kLan, kRunning}, {kSecondLink, kRunning}},
         {kLan, kSecondLink}},
        {"nothing running but loopback: the up ones",
         {{kLo, kLoopback}, {kBridge, kUp}, {kLan, kUp}},
         {kBridge, kLan}},
        {"loopback only when nothing else is up", {{kLo, kLoopback}, {kLan, IFF_RUNNING}}, {kLo}},
        {"nothing up", {{kLo, IFF_LOOPBACK}}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::PickLocalAddresses(c.interfaces), c.expected) << c.name;
}
