#include <gtest/gtest.h>

#include "app/FirewallRules.h"
#include "platform/OsVersion.h"
#include "support/FakeProgram.h"
#include "support/TempDir.h"

using Lines = std::vector<std::wstring>;

TEST(FirewallCommandLines, AdvancedFirewallDeletesThenAdds) {
    const Lines expected{
        L"netsh advfirewall firewall delete rule name=\"OnduLofrin\" dir=in "
        L"program=\"/opt/Ondu Lofrin/OnduLofrin\"",
        L"netsh advfirewall firewall add rule name=\"OnduLofrin\" dir=in "
        L"program=\"/opt/Ondu Lofrin/OnduLofrin\" action=allow"};
    EXPECT_EQ(FirewallCommandLines(L"/opt/Ondu Lofrin/OnduLofrin", L"OnduLofrin", 10), expected);
    EXPECT_EQ(FirewallCommandLines(L"/opt/Ondu Lofrin/OnduLofrin", L"OnduLofrin", 6), expected);
}

TEST(FirewallCommandLines, OlderSystemsGetTheAllowedProgramForm) {
    EXPECT_EQ(FirewallCommandLines(L"/opt/Ondu Lofrin/OnduLofrin", L"OnduLofrin", 5),
              Lines{L"netsh firewall add allowedprogram \"/opt/Ondu Lofrin/OnduLofrin\" "
                    L"OnduLofrin ENABLE"});
}

TEST(FirewallCommandLines, QuoteInPathOrNameGivesNoCommand) {
    // The quote would end the quoted path early and hand netsh other words.
    EXPECT_EQ(FirewallCommandLines(L"/tmp/a\" action=allow x=\"", L"OnduLofrin", 10), Lines{});
    EXPECT_EQ(FirewallCommandLines(L"/opt/OnduLofrin", L"a\"b", 5), Lines{});
}

class AddFirewallRulesTest : public ::testing::Test {
protected:
    AddFirewallRulesTest() : onPath_(dir_.Path()) {}
    ~AddFirewallRulesTest() override { platform::SetOsMajorVersionForTesting(0); }

    void InstallFakeNetsh() { WriteRecorder(dir_.File("netsh"), Record()); }
    std::filesystem::path Record() const { return dir_.File("netsh-argv.txt"); }

    TempDir dir_;
    PathPrefix onPath_;
};

TEST_F(AddFirewallRulesTest, RunsEachCommandWithItsWords) {
    InstallFakeNetsh();
    EXPECT_TRUE(AddFirewallRules(L"/opt/Ondu Lofrin/OnduLofrin", L"OnduLofrin"));
    EXPECT_EQ(ReadTextFile(Record()),
              "<advfirewall><firewall><delete><rule><name=OnduLofrin><dir=in>"
              "<program=/opt/Ondu Lofrin/OnduLofrin>\n"
              "<advfirewall><firewall><add><rule><name=OnduLofrin><dir=in>"
              "<program=/opt/Ondu Lofrin/OnduLofrin><action=allow>\n");
}

TEST_F(AddFirewallRulesTest, FollowsTheReportedSystemVersion) {
    InstallFakeNetsh();
    platform::SetOsMajorVersionForTesting(5);
    EXPECT_TRUE(AddFirewallRules(L"/opt/Ondu Lofrin/OnduLofrin", L"OnduLofrin"));
    EXPECT_EQ(ReadTextFile(Record()),
              "<firewall><add><allowedprogram></opt/Ondu Lofrin/OnduLofrin><OnduLofrin><ENABLE>\n");
}

TEST_F(AddFirewallRulesTest, MissingNetshIsSkippedSilently) {
    setenv("PATH", dir_.File("empty").c_str(), 1);
    EXPECT_TRUE(AddFirewallRules(L"/opt/OnduLofrin", L"OnduLofrin"));
    EXPECT_FALSE(std::filesystem::exists(Record()));
}
