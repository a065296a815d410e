#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/Ipv4SocketAddress.h"
#include "platform/ProgramVersion.h"
#include "service/ServiceFixture.h"
#include "support/Bytes.h"
#include "support/ChildProcess.h"
#include "support/PackagedMovieWriter.h"
#include "support/SanitizerSlowdown.h"
#include "support/TempDir.h"

// The headset tool against the real service, both in this process's
// private network.
namespace {

// Connections the service has accepted on its port, from the kernel's table
// (this process's own network: nobody else's connections are in it).
size_t ServedConnections() {
    std::ifstream table("/proc/net/tcp");
    size_t count = 0;
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local.ends_with(":5A43") && state == "01")  // port 23107, established
            ++count;
    }
    return count;
}

bool WaitForServedConnections(size_t wanted, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (ServedConnections() < wanted) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

ProgramRun RunTool(std::vector<std::string> args, int timeoutMs = 30000) {
    args.insert(args.begin(), ONDU_HEADSET_PATH);
    return RunProgram(args, timeoutMs);
}

// The hash field of every frame line that ffmpeg's framemd5 prints: the
// hashes of the decoded pictures, or of the packets' data with stream copy.
// Side data that may follow it is left out; the protocol carries none.
std::vector<std::string> FrameHashes(const std::string& file, const std::vector<std::string>& how) {
    std::vector<std::string> args{"ffmpeg", "-nostdin", "-v", "error", "-i", file};
    args.insert(args.end(), how.begin(), how.end());
    args.insert(args.end(), {"-f", "framemd5", "-"});
    std::vector<std::string> hashes;
    std::istringstream lines(RunProgram(args).output);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string field;
        for (int i = 0; i < 6; ++i)
            std::getline(fields, field, ',');
        hashes.push_back(field);
    }
    return hashes;
}

std::vector<std::string> PictureHashes(const std::string& file) {
    return FrameHashes(file, {"-map", "0:v", "-fps_mode", "passthrough"});
}

std::vector<std::string> AudioPacketHashes(const std::string& file) {
    return FrameHashes(file, {"-map", "0:a", "-c", "copy"});
}

std::string H264WithAac() {
    return MakeH264AacClip("headset-h264-aac.mp4", "320x240", "2", 10, 2).string();
}

std::string HevcWithAac() {
    return MakeTestMedia("headset-hevc-aac.mkv", {"-f",           "lavfi",
                                                  "-i",           "testsrc=s=320x240:d=2:r=25",
                                                  "-f",           "lavfi",
                                                  "-i",           "sine=f=660:d=2:r=48000",
                                                  "-c:v",         "libx265",
                                                  "-preset",      "ultrafast",
                                                  "-x265-params", "log-level=error:keyint=10",
                                                  "-pix_fmt",     "yuv420p",
                                                  "-c:a",         "aac",
                                                  "-ac",          "2",
                                                  "-shortest"})
        .string();
}

// Index records that name consecutive ranges of the data region, of
// uneven lengths, the way a packaged movie's index walks through its data.
PackagedMovieLayout PackagedFixture(size_t recordCount) {
    PackagedMovieLayout layout;
    layout.width = 8;
    layout.height = 4;
    layout.extraHeader = PatternBytes(45, 11);
    layout.extraHeader.back() = 0x5A;
    int64_t start = 0;
    for (size_t i = 0; i < recordCount; ++i) {
        const int64_t length = static_cast<int64_t>((i * 7919) % 3001);
        AppendLittleEndian(layout.records, static_cast<int32_t>(i % 3));
        AppendLittleEndian(layout.records, static_cast<int32_t>(i));
        AppendLittleEndian(layout.records, start);
        AppendLittleEndian(layout.records, start + length);
        start += length;
    }
    layout.data = PatternBytes(static_cast<size_t>(start), 21);
    return layout;
}

class HeadsetToolTest : public ServiceTest {
protected:
    void ServeFiles(const std::vector<std::string>& files) {
        std::vector<std::wstring> paths;
        for (const std::string& file : files)
            paths.push_back(platform::PathFromOsBytes(file));
        StartOn({{127, 0, 0, 1}}, paths);
    }

    TempDir dir_;
};

TEST_F(HeadsetToolTest, DiscoverHearsTheServerWithinTwoSeconds) {
    ServeFiles({H264WithAac(), H264WithAac()});
    const auto started = std::chrono::steady_clock::now();
    const ProgramRun run = RunTool({"discover", "--seconds", "2", "--first"});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2500));
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.output.find("server 127.0.0.1 port 23107 titles 2 addresses 127.0.0.1"),
              std::string::npos)
        << run.output;
}

TEST_F(HeadsetToolTest, DiscoverReportsMalformedDatagramsAndGoesOn) {
    ChildProcess tool({ONDU_HEADSET_PATH, "discover", "--seconds", "1.5"});
    platform::Socket sender(socket(AF_INET, SOCK_DGRAM, 0));
    const sockaddr_in target = platform::Ipv4SocketAddress(INADDR_LOOPBACK, 12450);
    std::vector<uint8_t> wrongMagic(24, 0x41);
    const uint8_t tooShort[5] = {0xD8, 0x46, 0x30, 0x36, 0x35};
    // The tool binds its port some time after it starts, later still on a
    // busy machine; keep sending for longer than it listens.
    for (int i = 0; i < 60; ++i) {
        sendto(sender.Descriptor(), tooShort, sizeof tooShort, 0,
               reinterpret_cast<const sockaddr*>(&target), sizeof target);
        sendto(sender.Descriptor(), wrongMagic.data(), wrongMagic.size(), 0,
               reinterpret_cast<const sockaddr*>(&target), sizeof target);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    tool.ReadOutputToEnd(5000);
    EXPECT_EQ(tool.WaitForExit(1000), 1);  // no server among them
    const std::string output = tool.Output();
    EXPECT_NE(output.find("malformed announcement from 127.0.0.1"), std::string::npos) << output;
    EXPECT_NE(output.find("too short (5 bytes)"), std::string::npos) << output;
    EXPECT_NE(output.find("wrong magic"), std::string::npos) << output;
    EXPECT_NE(tool.Errors().find("no server heard"), std::string::npos);
}

TEST_F(HeadsetToolTest, ListDescribesEveryTitleAndWritesThumbnails) {
    const auto packaged = dir_.File("movie.vrm");
    WriteFileBytes(packaged, PackagedMovieBytes(PackagedFixture(3)));
    ServeFiles({H264WithAac(), packaged.string()});
    const auto thumbs = dir_.File("thumbs");
    const ProgramRun run = RunTool({"list", "127.0.0.1:23107", "--thumbs", thumbs.string()});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    for (const char* expected :
         {"title 0: headset-h264-aac.mp4", "thumbnail 300x150, 180000 bytes",
          "2 streams: stream 0: video h264 320x240; stream 1: audio aac 44100 Hz, 1 channel\n",
          "video: stream 0, 320x240, video/avc, profile 2 (Main), level 16 (1.3),",
          "audio: stream 1, aac, 44100 Hz, 1 channel,", "duration: 2.0", "title 1: movie.vrm",
          "thumbnail 8x4, 128 bytes", "packaged movie", "2 titles"}) {
        EXPECT_NE(run.output.find(expected), std::string::npos) << expected << "\n" << run.output;
    }
    for (const char* png : {"title-0.png", "title-1.png"}) {
        const ProgramRun probe =
            RunProgram({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name,width", "-of",
                        "csv=p=0", (thumbs / png).string()});
        EXPECT_EQ(probe.output, std::string(png) == "title-0.png" ? "png,300\n" : "png,8\n");
    }
}

TEST_F(HeadsetToolTest, PlayWritesExactlyTheSourcesPicturesAndAudioPackets) {
    for (const std::string& source : {H264WithAac(), HevcWithAac()}) {
        ServeFiles({source});
        const std::string out = dir_.File("played.mkv").string();
        const ProgramRun run = RunTool({"play", "127.0.0.1", "0", "--out", out});
        StopVideoService();
        ASSERT_EQ(run.exitCode, 0) << source << ": " << run.errors;
        EXPECT_NE(run.output.find("played title 0 to the end"), std::string::npos);

        const std::vector<std::string> pictures = PictureHashes(source);
        ASSERT_EQ(pictures.size(), 50u) << source;
        EXPECT_EQ(PictureHashes(out), pictures) << source;
        const std::vector<std::string> audio = AudioPacketHashes(source);
        ASSERT_FALSE(audio.empty());
        EXPECT_EQ(AudioPacketHashes(out), audio) << source;
    }
}

TEST_F(HeadsetToolTest, PlayFromASeekPositionStartsThere) {
    ServeFiles({H264WithAac()});
    const std::string out = dir_.File("seek.mkv").string();
    const ProgramRun run = RunTool({"play", "127.0.0.1", "0", "--out", out, "--seek", "1.0"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    // A key frame every 10 pictures at 25 per second: the demultiplexer
    // lands on the one at 0.8 s or 1.2 s, and the rest of the title follows.
    const std::vector<std::string> source = PictureHashes(H264WithAac());
    const std::vector<std::string> played = PictureHashes(out);
    ASSERT_TRUE(played.size() == 30 || played.size() == 20) << played.size();
    EXPECT_TRUE(std::equal(played.begin(), played.end(), source.end() - played.size()));
}

TEST_F(HeadsetToolTest, PlayPastTheEndIsAnErrorRatherThanAnEmptyFile) {
    ServeFiles({H264WithAac()});
    const auto out = dir_.File("late.mkv");
    const ProgramRun run =
        RunTool({"play", "127.0.0.1", "0", "--out", out.string(), "--seek", "9"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errors.rfind("ondu-headset play: --seek 9.0 s is past the end of title 0", 0), 0u)
        << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(HeadsetToolTest, FetchWritesHeaderRecordsAndDataByteForByte) {
    // More records than one open reply carries and than one request can ask
    // chunks for.
    const PackagedMovieLayout layout = PackagedFixture(800);
    const auto packaged = dir_.File("fixture.vrw");
    WriteFileBytes(packaged, PackagedMovieBytes(layout));
    ServeFiles({H264WithAac(), packaged.string()});
    const auto out = dir_.File("fetched");
    const ProgramRun run = RunTool({"fetch", "127.0.0.1", "1", "--out", out.string()});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(ReadFileBytes(out / "header.bin"), PackagedHeaderBlock(layout));
    EXPECT_EQ(ReadFileBytes(out / "records.bin"), layout.records);
    EXPECT_EQ(ReadFileBytes(out / "data.bin"), layout.data);
}

TEST_F(HeadsetToolTest, FailuresGiveClearMessagesAndExitCodes) {
    const ProgramRun refused = RunTool({"list", "127.0.0.1"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.errors.find("refused"), std::string::npos) << refused.errors;
    const ProgramRun unresolvable = RunTool({"list", "no-such-host.invalid"});
    EXPECT_EQ(unresolvable.exitCode, 1);
    EXPECT_NE(unresolvable.errors.find("cannot resolve"), std::string::npos);

    ServeFiles({H264WithAac()});
    const ProgramRun unknown = RunTool({"play", "127.0.0.1", "7", "--out", dir_.File("x.mkv")});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.errors.find("no title 7"), std::string::npos) << unknown.errors;
    const ProgramRun notPackaged = RunTool({"fetch", "127.0.0.1", "0", "--out", dir_.File("f")});
    EXPECT_EQ(notPackaged.exitCode, 1);
    EXPECT_NE(notPackaged.errors.find("not a packaged movie"), std::string::npos);

    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string error;  // on the first line of the standard error
    };
    const Case cases[] = {
        {{"play", "127.0.0.1"}, 2, "expects 2 arguments"},
        {{"play", "127.0.0.1", "x", "--out", "a.mkv"}, 2, "INDEX must be"},
        {{"load", "127.0.0.1", "--clients", "0"}, 2, "--clients must be"},
        {{"list", "127.0.0.1", "--colour"}, 2, "unknown option --colour"},
        {{"dance"}, 2, "unknown command"},
        {{"list", "127.0.0.1:"}, 2, "PORT must be a whole number from 1 to 65535, not \"\""},
        {{"play", "127.0.0.1:70000", "0", "--out", "a.mkv"}, 2, "not \"70000\""},
        {{"fetch", ":23107", "0", "--out", "f"}, 2, "needs a host before the colon"},
        {{"list", "127.0.0.1:23108"}, 1, "connection to 127.0.0.1:23108 refused"},
        // Nothing to measure: one line, however many headsets and seconds.
        {{"load", "127.0.0.1:23108", "--clients", "4", "--seconds", "20"},
         1,
         "ondu-headset load: connection to 127.0.0.1:23108 refused: no server listens there\n"},
    };
    for (const Case& c : cases) {
        const ProgramRun run = RunTool(c.args, 5000);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args[0] << " " << c.args[1];
        EXPECT_NE(run.errors.substr(0, run.errors.find('\n') + 1).find(c.error), std::string::npos)
            << run.errors;
    }
    const ProgramRun help = RunTool({"fetch", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("usage: ondu-headset fetch HOST[:PORT] INDEX --out DIR"),
              std::string::npos);
    const ProgramRun version = RunTool({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, std::string("ondu-headset ") + kProgramVersion + "\n");
}

// A server of our own that answers every connection with the same bytes.
class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<uint8_t> reply) : reply_(std::move(reply)) {
        listener_ = platform::Socket(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const int on = 1;
        setsockopt(listener_.Descriptor(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        platform::BindIpv4(listener_.Descriptor(), INADDR_LOOPBACK, 23107);
        listen(listener_.Descriptor(), 4);
        thread_ = std::thread([this] {
            platform::Socket client(accept(listener_.Descriptor(), nullptr, nullptr));
            uint8_t request[8192];
            if (recv(client.Descriptor(), request, sizeof request, 0) > 0)
                send(client.Descriptor(), reply_.data(), reply_.size(), MSG_NOSIGNAL);
        });
    }
    ~ScriptedServer() {
        shutdown(listener_.Descriptor(), SHUT_RDWR);
        thread_.join();
    }

private:
    std::vector<uint8_t> reply_;
    platform::Socket listener_;
    std::thread thread_;
};

TEST(HeadsetToolAgainstBrokenServers, CutAndMalformedRepliesAreErrorsNotCrashes) {
    std::vector<uint8_t> cut;
    AppendLittleEndian(cut, uint32_t{44});
    AppendLittleEndian(cut, int32_t{33793});
    AppendLittleEndian(cut, int32_t{0});
    {
        ScriptedServer server(cut);
        const ProgramRun run = RunTool({"list", "127.0.0.1"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.errors.find("closed the connection in the middle of a reply"),
                  std::string::npos)
            << run.errors;
    }
    std::vector<uint8_t> badLength;
    AppendLittleEndian(badLength, uint32_t{13});
    {
        ScriptedServer server(badLength);
        const ProgramRun run = RunTool({"play", "127.0.0.1", "0", "--out", "/dev/null"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.errors.find("malformed reply"), std::string::npos) << run.errors;
    }
    // A whole frame whose lengths promise more than it holds.
    std::vector<uint8_t> lying;
    AppendLittleEndian(lying, uint32_t{28});
    AppendLittleEndian(lying, int32_t{33793});
    AppendLittleEndian(lying, int32_t{0});
    AppendLittleEndian(lying, int32_t{1000});
    lying.resize(32, 0);
    {
        ScriptedServer server(lying);
        const ProgramRun run = RunTool({"list", "127.0.0.1"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.errors.find("cut short"), std::string::npos) << run.errors;
    }
}

TEST_F(HeadsetToolTest, LoadReportsLatencyThroughputAndNoErrors) {
    ServeFiles({H264WithAac()});
    const ProgramRun run =
        RunTool({"load", "127.0.0.1", "--clients", "3", "--seconds", "1.5", "--rate", "2"});
    EXPECT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_NE(run.output.find("RESULT clients=3 "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(" errors=0"), std::string::npos) << run.output;
    // Keeping up with the rate is a matter of speed, which a sanitizer takes.
    if (kSanitizerSlowdown == 1) {
        EXPECT_NE(run.output.find(" behind=0 "), std::string::npos) << run.output;
    }
}

TEST_F(HeadsetToolTest, LoadStopsWithOneLineWhenTheServerGoesAway) {
    ServeFiles({H264WithAac()});
    ChildProcess tool({ONDU_HEADSET_PATH, "load", "127.0.0.1", "--clients", "4", "--seconds", "30",
                       "--rate", "2"});
    // Only a server that goes away under playing clients is this case; one
    // that was never reached is another (refused).
    ASSERT_TRUE(WaitForServedConnections(4, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    StopVideoService();
    ASSERT_TRUE(tool.ReadOutputToEnd(5000 * kSanitizerSlowdown));
    EXPECT_EQ(tool.WaitForExit(1000), 1);
    const std::string errors = tool.Errors();
    EXPECT_EQ(errors.rfind("ondu-headset load: the server went away after ", 0), 0u) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    // The figures up to then, and each failure once rather than once a retry.
    const std::string output = tool.Output();
    EXPECT_NE(output.find("RESULT clients=4 "), std::string::npos) << output;
    size_t errorLines = 0;
    for (size_t at = output.find("\nerror: "); at != std::string::npos;
         at = output.find("\nerror: ", at + 1))
        ++errorLines;
    EXPECT_LE(errorLines, 4u) << output;
}

}  // namespace
