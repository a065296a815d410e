#include <fstream>
#include <sstream>
#include <thread>

#include "service/ServiceFixture.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#ifndef ONDU_TEST_SOURCE_DIR
#error "ONDU_TEST_SOURCE_DIR must name the tests folder"
#endif

namespace {

// Our own second host: a network namespace held open by a sleeping process,
// joined to the test's namespace by a veth pair with addresses of our own.
class HeadsetHost {
public:
    HeadsetHost() : holder_({"unshare", "--net", "--", "sleep", "60"}) {
        if (!holder_.Started() || !WaitForOwnNamespace())
            return;
        const std::string pid = std::to_string(holder_.Pid());
        ready_ = Run({"ip", "link", "add", "ondu-server", "type", "veth", "peer", "name",
                      "ondu-headset", "netns", pid}) &&
                 Run({"ip", "addr", "add", "10.231.7.1/24", "dev", "ondu-server"}) &&
                 Run({"ip", "link", "set", "ondu-server", "up"}) &&
                 Run({"nsenter", "-t", pid, "-n", "ip", "link", "set", "lo", "up"}) &&
                 Run({"nsenter", "-t", pid, "-n", "ip", "addr", "add", "10.231.7.2/24", "dev",
                      "ondu-headset"}) &&
                 Run({"nsenter", "-t", pid, "-n", "ip", "link", "set", "ondu-headset", "up"});
    }
    ~HeadsetHost() { Run({"ip", "link", "del", "ondu-server"}); }

    bool Ready() const { return ready_; }

    // Runs a program inside the headset's namespace.
    std::vector<std::string> Inside(std::vector<std::string> args) const {
        std::vector<std::string> command{"nsenter", "-t", std::to_string(holder_.Pid()), "-n"};
        command.insert(command.end(), args.begin(), args.end());
        return command;
    }

    static bool Run(const std::vector<std::string>& args) {
        ChildProcess process(args);
        return process.Started() && process.WaitForExit(10000) == 0;
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
    bool ready_ = false;
};

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

class TwoHostTest : public ServiceTest {};

TEST_F(TwoHostTest, HeadsetOnAnotherHostFindsAndReachesTheServer) {
    HeadsetHost headset;
    ASSERT_TRUE(headset.Ready());

    // The real address lookup: the veth address, and loopback left out.
    StartVideoService({SmallMediaPath()}, &owner_);
    ASSERT_EQ(localAddresses, (std::vector<platform::Ipv4Address>{{10, 231, 7, 1}}));

    TempDir dir;
    const auto result = dir.File("headset.txt");
    ChildProcess probe(
        headset.Inside({"python3", std::string(ONDU_TEST_SOURCE_DIR) + "/service/headset_probe.py",
                        result.string()}));
    ASSERT_EQ(probe.WaitForExit(15000), 0) << probe.Errors();
    EXPECT_EQ(ReadText(result),
              "from 10.231.7.1 address 10.231.7.1 port 23107 titles 1 further 0 reply 33793 "
              "status 0 title small-h264.mp4\n");
}
