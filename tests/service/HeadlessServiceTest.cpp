#include <netinet/in.h>
#include <sys/socket.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>

#include "catalogue/CatalogueSamples.h"
#include "platform/Ipv4SocketAddress.h"
#include "protocol/ServiceConstants.h"
#include "service/ServiceFixture.h"
#include "support/ChildProcess.h"
#include "support/LoopbackHttpServer.h"
#include "support/MemoryCgroup.h"
#include "support/ProtocolClient.h"
#include "support/SanitizerSlowdown.h"
#include "support/TempDir.h"
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
    EXPECT_NE(output.find("skipped: /nonexistent/missing.mp4 (missing)"), std::string::npos)
        << output;
    EXPECT_NE(output.find("registration: not sent: no directory"), std::string::npos) << output;
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
    const std::string errors = server.Errors();
    EXPECT_NE(errors.find("Lofrin最多添加32个视频！"), std::string::npos);
    EXPECT_NE(errors.find("at most 32 videos can be shared; left out: /nonexistent/32.mp4\n"),
              std::string::npos)
        << errors;
}

// Each bad argument gets its own line, then a pointer to --help.
TEST(HeadlessService, BadArgumentsAreNamedAndExitWithTwo) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--serve"}, "OnduLofrin: --serve needs at least one FILE or FOLDER\n"},
        {{"a.mp4", "--serve", "--bind"}, "OnduLofrin: --bind needs an IPv4 address\n"},
        {{"--bind", "1.2.3", "--serve", "a.mp4"},
         "OnduLofrin: --bind: 1.2.3 is not an IPv4 address\n"},
        {{"--serve", "--foo", "a.mp4", "-x"},
         "OnduLofrin: unknown option --foo\nOnduLofrin: unknown option -x\n"},
        {{"--directory", "http://127.0.0.1", "a.mp4", "--no-directory", "--serve"},
         "OnduLofrin: --directory and --no-directory exclude each other\n"},
        {{"--foo"}, "OnduLofrin: unknown option --foo\n"},
    };
    for (const auto& [arguments, problems] : cases) {
        std::vector<std::string> args{ONDU_PROGRAM_PATH};
        args.insert(args.end(), arguments.begin(), arguments.end());
        const ProgramRun run = RunProgram(args, 5000);
        EXPECT_EQ(run.exitCode, 2) << problems;
        EXPECT_EQ(run.errors, problems + "Try 'OnduLofrin --help' for more information.\n");
        EXPECT_EQ(run.output, "");
    }
}

// Answered before anything needs a display; the window itself says there is
// none and how to serve without one.
TEST(HeadlessService, HelpAndVersionNeedNoDisplayAndTheWindowSaysItHasNone) {
    const ChildOptions noDisplay{{}, std::vector<std::string>{"PATH=/usr/bin:/bin"}};
    const ProgramRun help = RunProgram({ONDU_PROGRAM_PATH, "a.mp4", "--help"}, 5000, noDisplay);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.output.starts_with("usage: OnduLofrin [OPTION]... [FILE|FOLDER]...\n"));
    const ProgramRun version = RunProgram({ONDU_PROGRAM_PATH, "--version", "x"}, 5000, noDisplay);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, "OnduLofrin 1.0.1.4\n");
    const ProgramRun window = RunProgram({ONDU_PROGRAM_PATH, "a.mp4"}, 5000, noDisplay);
    EXPECT_EQ(window.exitCode, 1);
    EXPECT_NE(window.errors.find("there is no display"), std::string::npos) << window.errors;
    EXPECT_NE(window.errors.find("OnduLofrin --serve FILE|FOLDER..."), std::string::npos);
}

// A file named without a folder is found in the current directory.
TEST(HeadlessService, RelativePathsAreTakenFromTheCurrentDirectory) {
    const std::filesystem::path media(SmallMediaUtf8());
    ChildProcess server({ONDU_PROGRAM_PATH, "--bind", "127.0.0.1", media.filename().string(),
                         "--no-directory", "--serve"},
                        {media.parent_path(), std::nullopt});
    ASSERT_TRUE(server.WaitForOutput("listening on 127.0.0.1:23107", 10000)) << server.Errors();
    server.Signal(SIGTERM);
    EXPECT_EQ(server.WaitForExit(2000), 0);
    EXPECT_NE(server.Output().find("title 0: small-h264.mp4"), std::string::npos);
}

// With the port taken nothing can serve: the start says why and stops.
TEST(HeadlessService, TakenPortEndsTheServiceWithItsReason) {
    platform::Socket taken(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    // Connections of earlier tests may still hold the port in TIME_WAIT.
    const int reuse = 1;
    setsockopt(taken.Descriptor(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    ASSERT_EQ(platform::BindIpv4(taken.Descriptor(), INADDR_LOOPBACK, servicePort), 0);
    ASSERT_EQ(listen(taken.Descriptor(), 1), 0);

    const auto started = std::chrono::steady_clock::now();
    const ProgramRun run = RunProgram(
        {ONDU_PROGRAM_PATH, "--serve", "--no-directory", "--bind", "127.0.0.1", SmallMediaUtf8()},
        5000);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("not listening on 127.0.0.1:23107: bind: Address already in use\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.errors.find("no address can listen on port 23107 (127.0.0.1: bind: Address "
                              "already in use); stopped"),
              std::string::npos)
        << run.errors;
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

// Each title is told as it is read, with its time and where it came from;
// the cache is written and used unless --no-cache says otherwise.
TEST(HeadlessService, TellsEachTitleAndUsesTheCacheUnlessTurnedOff) {
    const std::filesystem::path cache =
        std::filesystem::path(std::getenv("XDG_CACHE_HOME")) / "ondulofrin";
    std::filesystem::remove_all(cache);
    struct Run {
        bool noCache;
        const char* how;
        bool cacheAfter;
    };
    for (const Run& run : {Run{true, "read", false}, Run{false, "read", true},
                           Run{false, "from the cache", true}, Run{true, "read", true}}) {
        std::vector<std::string> args{ONDU_PROGRAM_PATH, "--serve",   "--no-directory",
                                      "--bind",          "127.0.0.1", SmallMediaUtf8()};
        if (run.noCache)
            args.push_back("--no-cache");
        ChildProcess server(args);
        ASSERT_TRUE(server.WaitForOutput("listening on 127.0.0.1:23107", 10000)) << server.Errors();
        server.Signal(SIGTERM);
        EXPECT_EQ(server.WaitForExit(2000), 0);
        const std::string output = server.Output();
        EXPECT_NE(output.find("title 0: small-h264.mp4 (kind 100001, thumbnail 300x150), " +
                              std::string(run.how) + " in "),
                  std::string::npos)
            << output;
        EXPECT_NE(output.find("catalogue: 1 title in "), std::string::npos) << output;
        EXPECT_EQ(std::filesystem::exists(cache), run.cacheAfter) << run.how;
    }
}

// The catalogue line names the HDR titles whose pictures were tone-mapped.
TEST(HeadlessService, NamesTheTitlesToneMapped) {
    const std::filesystem::path hdr10 = samples::ColourSystemMp4("pq");
    ASSERT_FALSE(hdr10.empty());
    ChildProcess server({ONDU_PROGRAM_PATH, "--serve", "--no-directory", "--no-cache", "--bind",
                         "127.0.0.1", SmallMediaUtf8(), hdr10.string()});
    ASSERT_TRUE(server.WaitForOutput("listening on 127.0.0.1:23107", 10000)) << server.Errors();
    server.Signal(SIGTERM);
    EXPECT_EQ(server.WaitForExit(2000), 0);
    const std::string output = server.Output();
    EXPECT_NE(output.find("from the cache; HDR tone-mapped: colour-pq.mp4\n"), std::string::npos)
        << output;
}

// Many 8K titles, so that the signal comes while they are read.
TEST(HeadlessService, ASignalDuringTheStartEndsItWithinASecond) {
    const std::filesystem::path title =
        MakeTestMedia("headless-8k.mp4", {"-f", "lavfi", "-i", "color=c=teal:s=7680x3840:r=5:d=0.6",
                                          "-c:v", "libx265", "-preset", "ultrafast", "-pix_fmt",
                                          "yuv420p", "-x265-params", "log-level=none"});
    ASSERT_FALSE(title.empty());
    TempDir folder;
    std::vector<std::string> args{ONDU_PROGRAM_PATH, "--serve", "--no-directory",
                                  "--no-cache",      "--bind",  "127.0.0.1"};
    for (int i = 0; i < 32; ++i) {
        const std::filesystem::path link = folder.File("title" + std::to_string(i) + ".mp4");
        std::filesystem::create_hard_link(title, link);
        args.push_back(link.string());
    }
    ChildProcess server(args);
    ASSERT_TRUE(server.WaitForOutput("title 0:", 20000)) << server.Errors();
    const auto signalled = std::chrono::steady_clock::now();
    server.Signal(SIGINT);
    // Between two looks at the stop flag lies one 8K picture's decoding.
    EXPECT_EQ(server.WaitForExit(2000 * kSanitizerSlowdown), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled,
              std::chrono::milliseconds(1000 * kSanitizerSlowdown));
    const std::string output = server.Output();
    EXPECT_NE(output.find("stopped during the start\n"), std::string::npos) << output;
    EXPECT_EQ(output.find("listening on"), std::string::npos) << output;
}

// 32 titles of 8192 x 4096 HEVC Main 10 and an empty cache, started inside
// a 512 MiB memory cgroup, as on a small board or under MemoryMax=512M: the
// start reads no more titles at once than fit, every title gets its picture,
// and the service listens, where reading one title per processor was killed.
TEST(HeadlessService, StartsWithManyLargeTitlesInsideASmallMemoryCgroup) {
    if (kSanitizerSlowdown > 1)
        GTEST_SKIP() << "a sanitizer's own memory does not fit the limit";
    std::string whyNot;
    std::optional<MemoryCgroup> group = MemoryCgroup::Make(uint64_t{512} << 20, whyNot);
    if (!group)
        GTEST_SKIP() << whyNot;
    const std::filesystem::path title = MakeTestMedia(
        "headless-8k-main10.mp4",
        {"-f", "lavfi", "-i", "testsrc2=s=8192x4096:r=5:d=0.4", "-c:v", "libx265", "-preset",
         "ultrafast", "-pix_fmt", "yuv420p10le", "-x265-params", "log-level=none"});
    ASSERT_FALSE(title.empty());
    TempDir folder;
    std::vector<std::string> args{ONDU_PROGRAM_PATH, "--serve", "--no-directory",
                                  "--no-cache",      "--bind",  "127.0.0.1"};
    for (int i = 0; i < 32; ++i) {
        const std::filesystem::path link = folder.File("title" + std::to_string(i) + ".mp4");
        std::filesystem::create_hard_link(title, link);
        args.push_back(link.string());
    }
    ChildProcess server(group->StartIn(args));
    ASSERT_TRUE(server.WaitForOutput("listening on 127.0.0.1:23107", 180000))
        << server.Errors() << (group->SawOutOfMemoryKill() ? "killed for want of memory" : "");
    const std::string output = server.Output();
    EXPECT_NE(output.find("catalogue: 32 titles in "), std::string::npos) << output;
    EXPECT_NE(output.find(" MiB, cgroup limit 512 MiB\n"), std::string::npos) << output;

    headset::HeadsetConnection client = protocol_client::Connect();
    for (int32_t i = 0; i < 32; ++i) {
        const auto reply = protocol_client::Exchange(client, headset::DescribeTitleRequest(i));
        headset::TitleDescription description;
        ASSERT_TRUE(reply && headset::ParseTitleDescription(*reply, description).empty()) << i;
        EXPECT_TRUE(std::ranges::any_of(description.thumbnail, [](uint8_t b) { return b != 0; }))
            << "title " << i << " has no picture";
    }
    server.Signal(SIGTERM);
    EXPECT_EQ(server.WaitForExit(5000), 0);
    EXPECT_FALSE(group->SawOutOfMemoryKill());
}

TEST(ProgramVersion, VersionOptionPrintsTheProjectVersion) {
    ChildProcess program({ONDU_PROGRAM_PATH, "--version"});
    EXPECT_EQ(program.WaitForExit(5000), 0);
    EXPECT_EQ(program.Output(), "OnduLofrin 1.0.1.4\n");
}

namespace {

// Processor time the process has used so far, user and system.
double ProcessorSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // The fields after the command name, which may hold spaces, in brackets.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::vector<std::string> values{std::istream_iterator<std::string>(fields), {}};
    if (values.size() < 13)
        return 0;
    return static_cast<double>(std::stoull(values[11]) + std::stoull(values[12])) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The soft limit on open files of the process.
std::string OpenFilesLimit(pid_t pid) {
    std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
    std::string line;
    while (std::getline(limits, line)) {
        if (line.starts_with("Max open files")) {
            std::istringstream fields(line.substr(sizeof "Max open files"));
            std::string soft;
            fields >> soft;
            return soft;
        }
    }
    return {};
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

}  // namespace

// Started with a soft limit of 48 descriptors under a hard one of 96, the
// service takes the 96; twice as many silent connections as it can hold
// lock no headset out, leave the service at rest once they are in, and are
// told to the operator once.
TEST(HeadlessService, SilentConnectionsBeyondTheDescriptorLimitLockNobodyOut) {
    ChildProcess server({"sh", "-c", "ulimit -Sn 48 && ulimit -Hn 96 && exec \"$0\" \"$@\"",
                         ONDU_PROGRAM_PATH, "--serve", "--no-directory", "--no-cache", "--bind",
                         "127.0.0.1", SmallMediaUtf8()});
    ASSERT_TRUE(server.WaitForOutput("listening on 127.0.0.1:23107", 10000)) << server.Errors();
    EXPECT_EQ(OpenFilesLimit(server.Pid()), "96");

    std::vector<headset::HeadsetConnection> silent;
    for (int i = 0; i < 192; ++i)
        silent.push_back(protocol_client::Connect());
    headset::HeadsetConnection arriving = protocol_client::Connect();
    EXPECT_TRUE(protocol_client::Exchange(arriving, headset::DescribeTitleRequest(0)));

    const double before = ProcessorSeconds(server.Pid());
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LT(ProcessorSeconds(server.Pid()) - before, 0.25);

    silent.clear();
    arriving.Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    headset::HeadsetConnection player = protocol_client::Connect();
    const auto opened = protocol_client::Parsed(
        headset::ParseOpenedMedia, protocol_client::Exchange(player, headset::OpenMediaRequest(0)));
    EXPECT_EQ(opened.status, 0);
    server.Signal(SIGTERM);
    EXPECT_EQ(server.WaitForExit(2000), 0);
    const std::string errors = server.Errors();
    EXPECT_EQ(Occurrences(errors, "no descriptor left for a new connection"), 1u) << errors;
    EXPECT_EQ(Occurrences(errors, "descriptors free again"), 1u) << errors;
}
