#include <chrono>

#include "service/ServiceFixture.h"
#include "support/ChildProcess.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProtocolClient.h"
#include "tools/headset/HeadsetReplies.h"
#include "tools/headset/HeadsetRequests.h"

#ifndef ONDU_PROGRAM_PATH
#error "ONDU_PROGRAM_PATH must name the OnduLofrin program"
#endif

namespace {

std::string SmallMediaUtf8() {
    return platform::PathToOsBytes(SmallMediaPath());
}

}  // namespace

TEST(HeadlessService, ServesUntilTerminatedThenExitsCleanly) {
    ChildProcess server({ONDU_PROGRAM_PATH, "--serve", "--no-directory", "--bind", "127.0.0.1",
                         SmallMediaUtf8(), "/nonexistent/missing.mp4"});
    ASSERT_TRUE(server.WaitForOutput("listening on 127.0.0.1:23107", 10000)) << server.Errors();

    headset::HeadsetConnection client = protocol_client::Connect();
    ASSERT_TRUE(protocol_client::Exchange(client, headset::DescribeTitleRequest(0)));

    const auto signalled = std::chrono::steady_clock::now();
    server.Signal(SIGTERM);
    EXPECT_EQ(server.WaitForExit(1000), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::milliseconds(1000));
    const std::string output = server.Output();
    EXPECT_NE(output.find("title 0: small-h264.mp4 (kind 100001, thumbnail 300x150)"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("skipped: /nonexistent/missing.mp4"), std::string::npos) << output;
}

// A Latin-1 name from the command line: listed with a valid UTF-8 title and
// played from the file its bytes name.
TEST(HeadlessService, ServesAFileWhoseNameIsNotUtf8) {
    const std::filesystem::path latin1 =
        std::filesystem::path(ONDU_TEST_MEDIA_DIR) / "headless-caf\xE9.mp4";
    std::error_code ignored;
    std::filesystem::copy_file(platform::PathToOsBytes(SmallMediaPath()), latin1, ignored);
    ChildProcess server(
        {ONDU_PROGRAM_PATH, "--serve", "--no-directory", "--bind", "127.0.0.1", latin1.string()});
    ASSERT_TRUE(server.WaitForOutput("listening on 127.0.0.1:23107", 10000)) << server.Errors();
    headset::HeadsetConnection client = protocol_client::Connect();
    const auto title = protocol_client::Parsed(
        headset::ParseTitleDescription,
        protocol_client::Exchange(client, headset::DescribeTitleRequest(0)));
    EXPECT_EQ(title.status, 0);
    EXPECT_EQ(title.title, "headless-caf\xEF\xBF\xBD.mp4");
    const auto opened = protocol_client::Parsed(
        headset::ParseOpenedMedia, protocol_client::Exchange(client, headset::OpenMediaRequest(0)));
    EXPECT_EQ(opened.status, 0);
    EXPECT_EQ(opened.mimeType, "video/avc");
    server.Signal(SIGTERM);
    EXPECT_EQ(server.WaitForExit(2000), 0);
}

TEST(HeadlessService, TooManyFilesAreReportedOnStandardError) {
    std::vector<std::string> args{ONDU_PROGRAM_PATH, "--serve", "--no-directory", "--bind",
                                  "127.0.0.1"};
    for (int i = 0; i < 33; ++i)
        args.push_back("/nonexistent/" + std::to_string(i) + ".mp4");
    ChildProcess server(args);
    ASSERT_TRUE(server.WaitForOutput("listening on", 10000));
    server.Signal(SIGINT);
    EXPECT_EQ(server.WaitForExit(2000), 0);
    EXPECT_NE(server.Errors().find("Lofrin最多添加32个视频！"), std::string::npos);
}

TEST(HeadlessService, BadArgumentsPrintUsageAndExitWithTwo) {
    const std::vector<std::vector<std::string>> cases{
        {ONDU_PROGRAM_PATH, "--serve"},
        {ONDU_PROGRAM_PATH, "--serve", "--bind"},
        {ONDU_PROGRAM_PATH, "--serve", "--bind", "300.1.1.1", "a.mp4"},
        {ONDU_PROGRAM_PATH, "--serve", "--frobnicate", "a.mp4"},
        {ONDU_PROGRAM_PATH, "--serve", "--directory", "ftp://127.0.0.1", "a.mp4"},
        {ONDU_PROGRAM_PATH, "--serve", "--directory"},
    };
    for (const auto& args : cases) {
        ChildProcess server(args);
        EXPECT_EQ(server.WaitForExit(5000), 2) << args.back();
        EXPECT_NE(server.Errors().find("usage: OnduLofrin --serve"), std::string::npos);
    }
}

// The child shares the test's private network, so the directory it is sent to
// is the test's own server and nothing outside is reached.
TEST(HeadlessService, DirectoryOptionSendsTheRegistrationThere) {
    LoopbackHttpServer directory;
    ChildProcess server({ONDU_PROGRAM_PATH, "--serve", "--directory", directory.Origin(), "--bind",
                         "127.0.0.1", SmallMediaUtf8()});
    ASSERT_TRUE(server.WaitForOutput("listening on 127.0.0.1:23107", 10000)) << server.Errors();
    server.Signal(SIGTERM);
    EXPECT_EQ(server.WaitForExit(2000), 0);
    ASSERT_EQ(directory.RequestLines().size(), 1u);
    EXPECT_EQ(directory.RequestLines()[0],
              "GET /ondusvr.aspx?Action=LofrinSvr&CPort=23107&VrmFNum=1&IPPos0=16777343 HTTP/1.1");
}

TEST(ProgramVersion, VersionOptionPrintsTheProjectVersion) {
    ChildProcess program({ONDU_PROGRAM_PATH, "--version"});
    EXPECT_EQ(program.WaitForExit(5000), 0);
    EXPECT_EQ(program.Output(), "OnduLofrin 1.0.1.4\n");
}
