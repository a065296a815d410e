#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/PathBytes.h"
#include "platform/RunHiddenCommand.h"
#include "support/FakeProgram.h"
#include "support/TempDir.h"

namespace {

class RunHiddenCommandTest : public ::testing::Test {
protected:
    RunHiddenCommandTest() : onPath_(dir_.Path()) {}

    // A program on PATH that appends its arguments, each in <>, as one line.
    void MakeRecorder(const std::string& name, const std::string& before = "") {
        WriteScript(dir_.File(name),
                    before + "for a in \"$@\"; do printf '<%s>' \"$a\"; done >> '" +
                        Record().string() + "'\necho >> '" + Record().string() + "'\n");
    }
    std::filesystem::path Record() const { return dir_.File("record.txt"); }

    TempDir dir_;
    PathPrefix onPath_;
};

}  // namespace

TEST_F(RunHiddenCommandTest, ReportsWhetherTheProcessCouldBeCreated) {
    EXPECT_FALSE(platform::RunHiddenCommand(L""));
    EXPECT_FALSE(platform::RunHiddenCommand(L"   "));
    EXPECT_FALSE(platform::RunHiddenCommand(L"ondu-no-such-program-here a b"));
    EXPECT_FALSE(
        platform::RunHiddenCommand(platform::PathFromOsBytes(dir_.File("absent").string())));
    WriteScript(dir_.File("ondu-fails"), "exit 3\n");
    EXPECT_TRUE(platform::RunHiddenCommand(L"ondu-fails"));
}

TEST_F(RunHiddenCommandTest, PassesWordsLiterallyWithoutAShell) {
    MakeRecorder("ondu-record");
    const std::string trap = dir_.File("pwned").string();
    const std::wstring line = L"ondu-record \"name=Ondu Lofrin\" $(touch " +
                              platform::PathFromOsBytes(trap) + L") * ;echo `id` 'q' \u89c6\u9891";
    ASSERT_TRUE(platform::RunHiddenCommand(line));
    EXPECT_EQ(ReadTextFile(Record()), "<name=Ondu Lofrin><$(touch><" + trap +
                                          ")><*><;echo><`id`><'q'><\xE8\xA7\x86\xE9\xA2\x91>\n");
    EXPECT_FALSE(std::filesystem::exists(trap));
}

TEST_F(RunHiddenCommandTest, WaitsForTheProcessToEnd) {
    MakeRecorder("ondu-slow", "sleep 0.3\n");
    ASSERT_TRUE(platform::RunHiddenCommand(L"ondu-slow done"));
    EXPECT_EQ(ReadTextFile(Record()), "<done>\n");
}

TEST_F(RunHiddenCommandTest, DescriptorsAreNotInherited) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);  // deliberately without close-on-exec
    MakeRecorder("ondu-fds", "if [ -e /proc/$$/fd/" + std::to_string(fds[1]) +
                                 " ]; then set -- inherited; else set -- closed; fi\n");
    ASSERT_TRUE(platform::RunHiddenCommand(L"ondu-fds"));
    close(fds[0]);
    close(fds[1]);
    EXPECT_EQ(ReadTextFile(Record()), "<closed>\n");
}
