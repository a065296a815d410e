#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/RunHiddenCommand.h"
#include "platform/WideText.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace {

// Puts a folder in front of PATH for the lifetime of the object.
class PathPrefix {
public:
    explicit PathPrefix(const std::filesystem::path& folder) {
        const char* old = std::getenv("PATH");
        if (old != nullptr)
            old_ = old;
        setenv("PATH", (folder.string() + ":" + old_).c_str(), 1);
    }
    ~PathPrefix() { setenv("PATH", old_.c_str(), 1); }
    PathPrefix(const PathPrefix&) = delete;
    PathPrefix& operator=(const PathPrefix&) = delete;

private:
    std::string old_;
};

void WriteScript(const std::filesystem::path& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    chmod(path.c_str(), 0755);
}

std::string ReadText(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

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
    EXPECT_FALSE(platform::RunHiddenCommand(platform::Utf8ToWide(dir_.File("absent").string())));
    WriteScript(dir_.File("ondu-fails"), "exit 3\n");
    EXPECT_TRUE(platform::RunHiddenCommand(L"ondu-fails"));
}

TEST_F(RunHiddenCommandTest, PassesWordsLiterallyWithoutAShell) {
    MakeRecorder("ondu-record");
    const std::string trap = dir_.File("pwned").string();
    const std::wstring line = L"ondu-record \"name=Ondu Lofrin\" $(touch " +
                              platform::Utf8ToWide(trap) + L") * ;echo `id` 'q' \u89c6\u9891";
    ASSERT_TRUE(platform::RunHiddenCommand(line));
    EXPECT_EQ(ReadText(Record()), "<name=Ondu Lofrin><$(touch><" + trap +
                                      ")><*><;echo><`id`><'q'><\xE8\xA7\x86\xE9\xA2\x91>\n");
    EXPECT_FALSE(std::filesystem::exists(trap));
}

TEST_F(RunHiddenCommandTest, WaitsForTheProcessToEnd) {
    MakeRecorder("ondu-slow", "sleep 0.3\n");
    ASSERT_TRUE(platform::RunHiddenCommand(L"ondu-slow done"));
    EXPECT_EQ(ReadText(Record()), "<done>\n");
}

TEST_F(RunHiddenCommandTest, DescriptorsAreNotInherited) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);  // deliberately without close-on-exec
    MakeRecorder("ondu-fds", "if [ -e /proc/$$/fd/" + std::to_string(fds[1]) +
                                 " ]; then set -- inherited; else set -- closed; fi\n");
    ASSERT_TRUE(platform::RunHiddenCommand(L"ondu-fds"));
    close(fds[0]);
    close(fds[1]);
    EXPECT_EQ(ReadText(Record()), "<closed>\n");
}
