#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/FirewallFinding.h"
#include "app/FirewallHelper.h"
#include "app/FirewalldState.h"
#include "app/UfwState.h"
#include "support/ChildProcess.h"
#include "support/FakeProgram.h"
#include "support/TempDir.h"

namespace {

constexpr char kDropping[] =
    "IPV6=yes\nDEFAULT_INPUT_POLICY=\"DROP\"\nDEFAULT_OUTPUT_POLICY=\"ACCEPT\"\n";

std::string Rules(const std::string& tuple) {
    return "*filter\n:ufw-user-input - [0:0]\n### RULES ###\n\n### tuple ### " + tuple +
           "\n-A ufw-user-input -p tcp --dport 23107 -j ACCEPT\n\n### END RULES ###\n";
}

}  // namespace

// The tuples as ufw 0.36 writes them for `ufw allow ...` and its kin.
TEST(UfwAdmission, ReadsTheUsersRulesForThePort) {
    using enum HeadsetAdmission;
    const struct {
        const char* tuple;
        HeadsetAdmission expected;
    } cases[] = {
        {"allow tcp 23107 0.0.0.0/0 any 0.0.0.0/0 in", Admitted},
        {"allow tcp 23107 0.0.0.0/0 any 0.0.0.0/0 OnduLofrin - in", Admitted},
        {"allow any 23107 0.0.0.0/0 any 0.0.0.0/0 in_eth0", Admitted},
        {"allow tcp 23100:23200 0.0.0.0/0 any 10.0.0.0/8 in", Admitted},
        {"allow tcp 80,443,23107 0.0.0.0/0 any 0.0.0.0/0 in", Admitted},
        {"allow any any 0.0.0.0/0 any 192.168.1.0/24 in", Admitted},
        {"limit tcp 23107 0.0.0.0/0 any 0.0.0.0/0 in", Admitted},
        {"allow_log tcp 23107 0.0.0.0/0 any 0.0.0.0/0 in", Admitted},
        {"allow udp 23107 0.0.0.0/0 any 0.0.0.0/0 in", KeptOut},
        {"allow tcp 23108:23200 0.0.0.0/0 any 0.0.0.0/0 in", KeptOut},
        {"allow tcp 2310 0.0.0.0/0 any 0.0.0.0/0 in", KeptOut},
        {"deny tcp 23107 0.0.0.0/0 any 0.0.0.0/0 in", KeptOut},
        {"allow tcp 23107 0.0.0.0/0 any 0.0.0.0/0 out", KeptOut},
        {"allow tcp 22 0.0.0.0/0 any 0.0.0.0/0 in", KeptOut},
        {"allow tcp 23107", KeptOut},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UfwAdmission(kDropping, Rules(c.tuple)), c.expected) << c.tuple;
    EXPECT_EQ(UfwAdmission(kDropping, std::string()), KeptOut);
    // Without the rights to read the rules, nobody can say.
    EXPECT_EQ(UfwAdmission(kDropping, std::nullopt), MayBeKeptOut);
    // A policy that accepts lets everything in, whatever the rules.
    EXPECT_EQ(UfwAdmission("DEFAULT_INPUT_POLICY=\"ACCEPT\"\n", std::nullopt), Admitted);
    EXPECT_EQ(UfwAdmission("DEFAULT_INPUT_POLICY=\"REJECT\"\n", std::string()), KeptOut);
}

TEST(UfwEnabled, ReadsTheSwitchOfUfwConf) {
    EXPECT_TRUE(UfwEnabled("# comment\nENABLED=yes\nLOGLEVEL=low\n"));
    EXPECT_FALSE(UfwEnabled("ENABLED=no\nLOGLEVEL=low\n"));
    EXPECT_FALSE(UfwEnabled("#ENABLED=yes\n"));
    EXPECT_FALSE(UfwEnabled(""));
}

TEST(FirewallLine, NamesTheFirewallAndTheExactCommand) {
    const struct {
        FirewallFinding finding;
        const char* line;
    } cases[] = {
        {{Firewall::Ufw, HeadsetAdmission::KeptOut, true},
         "OnduLofrin: ufw keeps headsets out of port 23107/tcp; to let them in: sudo ufw allow "
         "OnduLofrin"},
        {{Firewall::Ufw, HeadsetAdmission::MayBeKeptOut, false},
         "OnduLofrin: ufw is on and may keep headsets out of port 23107/tcp (its rules are "
         "readable by root only); to let them in: sudo ufw allow 23107/tcp"},
        {{Firewall::Firewalld, HeadsetAdmission::KeptOut, true},
         "OnduLofrin: firewalld keeps headsets out of port 23107/tcp; to let them in: sudo "
         "firewall-cmd --permanent --add-service=ondulofrin && sudo firewall-cmd --reload"},
        {{Firewall::Firewalld, HeadsetAdmission::KeptOut, false},
         "OnduLofrin: firewalld keeps headsets out of port 23107/tcp; to let them in: sudo "
         "firewall-cmd --permanent --add-port=23107/tcp && sudo firewall-cmd --reload"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FirewallLine(c.finding), c.line);
}

// The window's consent: pkexec runs the helper with one fixed word; polkit's
// refusal (pkexec's 126) or a missing helper leaves the firewall alone.
TEST(LetHeadsetsInThroughHelper, AsksPkexecToRunTheHelperWithItsWord) {
    TempDir dir;
    const PathPrefix onPath(dir.Path());
    const auto record = dir.File("pkexec-argv.txt");
    const struct {
        FirewallFinding finding;
        const char* standIn;
        bool letIn;
        const char* recorded;
    } cases[] = {
        {{Firewall::Ufw, HeadsetAdmission::KeptOut, true}, "", true, "<ufw-application>"},
        {{Firewall::Ufw, HeadsetAdmission::MayBeKeptOut, false}, "", true, "<ufw-port>"},
        {{Firewall::Firewalld, HeadsetAdmission::KeptOut, true}, "", true, "<firewalld-service>"},
        {{Firewall::Firewalld, HeadsetAdmission::KeptOut, false}, "", true, "<firewalld-port>"},
        {{Firewall::Ufw, HeadsetAdmission::KeptOut, true}, "exit 126\n", false, ""},
    };
    const std::string helper = dir.File("ondulofrin-firewall").string();
    for (const auto& c : cases) {
        std::filesystem::remove(record);
        WriteRecorder(dir.File("pkexec"), record, c.standIn);
        EXPECT_EQ(LetHeadsetsInThroughHelper(c.finding, helper), c.letIn) << c.recorded;
        const std::string expected =
            *c.recorded == '\0' ? "" : "<" + helper + ">" + c.recorded + "\n";
        EXPECT_EQ(ReadTextFile(record), expected);
    }
    EXPECT_FALSE(LetHeadsetsInThroughHelper({}, ""));
}

TEST(FirewallHelperPath, FindsThePackagesPlaceThenTheBuildTrees) {
    TempDir dir;
    const auto program = dir.Path() / "bin" / "OnduLofrin";
    std::filesystem::create_directories(program.parent_path());
    EXPECT_EQ(FirewallHelperPath(program.string()), "");
    WriteScript(program.parent_path() / "ondulofrin-firewall", "");
    EXPECT_EQ(FirewallHelperPath(program.string()),
              (program.parent_path() / "ondulofrin-firewall").string());
    const auto installed = dir.Path() / "libexec" / "ondulofrin" / "ondulofrin-firewall";
    std::filesystem::create_directories(installed.parent_path());
    WriteScript(installed, "");
    EXPECT_EQ(FirewallHelperPath(program.string()), installed.string());
}

// firewall-cmd stands in for firewalld: its exit status and output as
// firewalld 1.3 gives them. Interfaces without a zone of their own go by the
// default zone.
TEST(FirewalldState, AsksTheZonesOfTheServingInterfaces) {
    using enum HeadsetAdmission;
    const std::string running =
        "[ \"$1\" = --state ] && { echo running; exit 0; }\n"
        "case \"$1\" in --get-zone-of-interface=*) exit 2;; esac\n";
    const std::string publicDefault =
        running + "[ \"$1\" = --get-default-zone ] && { echo public; exit 0; }\n";
    const struct {
        const char* name;
        std::string script;
        std::optional<HeadsetAdmission> expected;
    } cases[] = {
        {"not running", "echo 'not running'; exit 252\n", std::nullopt},
        {"port closed", publicDefault + "exit 1\n", KeptOut},
        {"port open",
         publicDefault +
             "[ \"$1 $2\" = '--zone=public --query-port=23107/tcp' ] && { echo yes; exit 0; }\n"
             "exit 1\n",
         std::nullopt},
        {"trusted zone",
         running + "[ \"$1\" = --get-default-zone ] && { echo trusted; exit 0; }\nexit 1\n",
         std::nullopt},
        {"queries refused", publicDefault + "exit 11\n", MayBeKeptOut},
        {"no default zone", running + "exit 11\n", MayBeKeptOut},
    };
    TempDir dir;
    const PathPrefix onPath(dir.Path());
    // Without a firewalld process, firewall-cmd is not asked.
    WriteScript(dir.File("firewall-cmd"), "exit 0\n");
    EXPECT_FALSE(FindFirewalldKeepingHeadsetsOut().has_value());
    std::filesystem::copy_file("/bin/sleep", dir.File("firewalld"));
    ChildProcess firewalld({dir.File("firewalld").string(), "60"});
    const auto comm = "/proc/" + std::to_string(firewalld.Pid()) + "/comm";
    for (int i = 0; i < 200 && ReadTextFile(comm) != "firewalld\n"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (const auto& c : cases) {
        WriteScript(dir.File("firewall-cmd"), c.script);
        const auto finding = FindFirewalldKeepingHeadsetsOut();
        ASSERT_EQ(finding.has_value(), c.expected.has_value()) << c.name;
        if (finding) {
            EXPECT_EQ(finding->firewall, Firewall::Firewalld) << c.name;
            EXPECT_EQ(finding->admission, *c.expected) << c.name;
        }
    }
    setenv("PATH", dir.File("empty").c_str(), 1);
    EXPECT_FALSE(FindFirewalldKeepingHeadsetsOut().has_value());
}
