#include <net/if.h>
#include <sys/ioctl.h>

#include <cstring>
#include <memory>
#include <thread>

#include "service/ServiceFixture.h"
#include "support/ChildProcess.h"
#include "support/LoopbackHttpServer.h"

#ifndef ONDU_HEADSET_PATH
#error "ONDU_HEADSET_PATH must name the headset tool"
#endif

namespace {

bool Run(const std::vector<std::string>& args) {
    return RunProgram(args, 10000).exitCode == 0;
}

// Waits until the interface `name` of the test's namespace has a link
// (IFF_RUNNING) or has none, as `running` asks; the kernel reports carrier
// changes a little later than they happen.
bool WaitForLinkState(const std::string& name, bool running) {
    const platform::Socket control(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    for (int i = 0; i < 300; ++i) {
        ifreq request{};
        std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
        if (ioctl(control.Descriptor(), SIOCGIFFLAGS, &request) != 0)
            return false;
        if (((request.ifr_flags & IFF_RUNNING) != 0) == running)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Our own headset host: a network namespace held open by a sleeping process,
// joined to the test's namespace by a veth pair on 10.231.<link>.0/24, the
// server's end .1 and the headset's end .2.
class HeadsetHost {
public:
    explicit HeadsetHost(int link)
        : holder_({"unshare", "--net", "--", "sleep", "60"}),
          serverLink_("ondu-server" + std::to_string(link)),
          serverAddress_("10.231." + std::to_string(link) + ".1") {
        if (!holder_.Started() || !WaitForOwnNamespace())
            return;
        const std::string pid = std::to_string(holder_.Pid());
        const std::string headsetLink = "ondu-headset" + std::to_string(link);
        const std::string headsetAddress = "10.231." + std::to_string(link) + ".2/24";
        ready_ = Run({"ip", "link", "add", serverLink_, "type", "veth", "peer", "name", headsetLink,
                      "netns", pid}) &&
                 Run({"ip", "addr", "add", serverAddress_ + "/24", "dev", serverLink_}) &&
                 Run({"ip", "link", "set", serverLink_, "up"}) &&
                 Run(Inside({"ip", "link", "set", "lo", "up"})) &&
                 Run(Inside({"ip", "addr", "add", headsetAddress, "dev", headsetLink})) &&
                 Run(Inside({"ip", "link", "set", headsetLink, "up"})) &&
                 WaitForLinkState(serverLink_, true);
    }
    ~HeadsetHost() { Run({"ip", "link", "del", serverLink_}); }

    bool Ready() const { return ready_; }
    // The server's address on this host's link.
    const std::string& ServerAddress() const { return serverAddress_; }

    // Runs a program inside the headset's namespace.
    std::vector<std::string> Inside(std::vector<std::string> args) const {
        std::vector<std::string> command{"nsenter", "-t", std::to_string(holder_.Pid()), "-n"};
        command.insert(command.end(), args.begin(), args.end());
        return command;
    }

private:
    bool WaitForOwnNamespace() const {
        const std::string own = NamespaceOf("self");
        for (int i = 0; i < 200; ++i) {
            const std::string theirs = NamespaceOf(std::to_string(holder_.Pid()));
            if (!theirs.empty() && theirs != own)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    static std::string NamespaceOf(const std::string& pid) {
        char target[128] = {};
        const std::string link = "/proc/" + pid + "/ns/net";
        const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
        return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string{};
    }

    ChildProcess holder_;
    std::string serverLink_;
    std::string serverAddress_;
    bool ready_ = false;
};

// A bridge in the test's namespace that is up with an address of its own but
// has no link, like docker0 or virbr0 with nothing attached. A fresh bridge
// may report a link until a first port has come and gone, so one does.
class IdleBridge {
public:
    IdleBridge() {
        ready_ = Run({"ip", "link", "add", kName, "type", "bridge"}) &&
                 Run({"ip", "addr", "add", "10.231.13.1/24", "dev", kName}) &&
                 Run({"ip", "link", "set", kName, "up"}) &&
                 Run({"ip", "link", "add", "ondu-port", "type", "veth", "peer", "name",
                      "ondu-port-peer"}) &&
                 Run({"ip", "link", "set", "ondu-port", "master", kName}) &&
                 Run({"ip", "link", "del", "ondu-port"}) && WaitForLinkState(kName, false);
    }
    ~IdleBridge() { Run({"ip", "link", "del", kName}); }
    bool Ready() const { return ready_; }

private:
    static constexpr char kName[] = "ondu-bridge";
    bool ready_ = false;
};

// The headset tool on `host`: hears the first announcement, then asks the
// server at `server` for its titles.
struct HeadsetOnHost {
    HeadsetOnHost(const HeadsetHost& host, const std::string& server)
        : discover(host.Inside({ONDU_HEADSET_PATH, "discover", "--first", "--seconds", "5"})),
          listArgs(host.Inside({ONDU_HEADSET_PATH, "list", server})) {}
    ChildProcess discover;
    std::vector<std::string> listArgs;
};

}  // namespace

class TwoHostTest : public ServiceTest {};

TEST_F(TwoHostTest, HeadsetOnAnotherHostFindsAndReachesTheServer) {
    HeadsetHost headset(7);
    ASSERT_TRUE(headset.Ready());

    // The real address lookup: the veth address, and loopback left out.
    Start({SmallMediaPath()});
    ASSERT_EQ(State().localAddresses, (std::vector<platform::Ipv4Address>{{10, 231, 7, 1}}));

    HeadsetOnHost probe(headset, "10.231.7.1");
    ASSERT_TRUE(probe.discover.ReadOutputToEnd(15000));
    ASSERT_EQ(probe.discover.WaitForExit(1000), 0) << probe.discover.Errors();
    EXPECT_EQ(
        probe.discover.Output(),
        "server 10.231.7.1 port 23107 titles 1 addresses 10.231.7.1 (from 10.231.7.1:23307)\n");
    // At the address it carries: the tool takes the reply apart, its code
    // and status included, before it names the title.
    const ProgramRun list = RunProgram(probe.listArgs, 15000);
    ASSERT_EQ(list.exitCode, 0) << list.errors;
    EXPECT_EQ(list.output.rfind("title 0: small-h264.mp4\n", 0), 0u) << list.output;
}

TEST_F(TwoHostTest, ServerOnTwoLinksTellsEachHeadsetItsOwnAddressFirst) {
    // Made first, so that the lookup meets the bridge before the two links.
    IdleBridge bridge;
    ASSERT_TRUE(bridge.Ready());
    HeadsetHost onFirstLink(11);
    HeadsetHost onSecondLink(12);
    ASSERT_TRUE(onFirstLink.Ready() && onSecondLink.Ready());
    LoopbackHttpServer directory;
    SetDirectoryOrigin(directory.Origin());

    // The real lookup: both links, in the order the system lists them, and
    // neither the bridge nor loopback.
    Start({SmallMediaPath()});
    const std::vector<platform::Ipv4Address> links{{10, 231, 11, 1}, {10, 231, 12, 1}};
    EXPECT_EQ(State().localAddresses, links);
    EXPECT_EQ(State().discoveryAddresses, links);
    EXPECT_EQ(State().announcement.Buffer().size(), 28u);
    ASSERT_EQ(directory.RequestLines().size(), 1u);
    EXPECT_EQ(directory.RequestLines()[0],
              "GET /ondusvr.aspx?Action=LofrinSvr&CPort=23107&VrmFNum=1&IPPos0=17557258"
              "&IPPos1=17622794 HTTP/1.1");

    // Each headset hears the server's address on its own link first, the
    // other after it, and reaches the server there.
    struct Expectation {
        const HeadsetHost& host;
        std::string further;
    };
    const std::vector<Expectation> expectations{{onFirstLink, "10.231.12.1"},
                                                {onSecondLink, "10.231.11.1"}};
    std::vector<std::unique_ptr<HeadsetOnHost>> probes;
    for (const Expectation& expectation : expectations) {
        probes.push_back(
            std::make_unique<HeadsetOnHost>(expectation.host, expectation.host.ServerAddress()));
    }
    for (size_t i = 0; i < expectations.size(); ++i) {
        const std::string& server = expectations[i].host.ServerAddress();
        ChildProcess& discover = probes[i]->discover;
        ASSERT_TRUE(discover.ReadOutputToEnd(15000)) << server;
        ASSERT_EQ(discover.WaitForExit(1000), 0) << server << ": " << discover.Errors();
        EXPECT_EQ(discover.Output(), "server " + server + " port 23107 titles 1 addresses " +
                                         server + "," + expectations[i].further + " (from " +
                                         server + ":23307)\n");
        const ProgramRun list = RunProgram(probes[i]->listArgs, 15000);
        ASSERT_EQ(list.exitCode, 0) << server << ": " << list.errors;
        EXPECT_EQ(list.output.rfind("title 0: small-h264.mp4\n", 0), 0u) << list.output;
    }
}
