// Start-up runs in child processes: each child is this test program, linked
// or copied to the place the test wants the program to be, started in the
// current directory and with the PATH the test chooses. A fake netsh on that
// PATH would record any command it were given: on Linux none runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/COnduLofrinApp.h"
#include "app/COnduLofrinDlg.h"
#include "app/StartupSteps.h"
#include "platform/Ipv4SocketAddress.h"
#include "platform/PathBytes.h"
#include "platform/Socket.h"
#include "protocol/ServiceConstants.h"
#include "support/Bytes.h"
#include "support/ChildProcess.h"
#include "support/FakeProgram.h"
#include "support/TempDir.h"

namespace {

constexpr char kChildFlag[] = "--startup-child";

// ---- the child side -------------------------------------------------------

// The real start-up with the window left out.
class AppWithoutWindow : public COnduLofrinApp {
public:
    using COnduLofrinApp::COnduLofrinApp;

protected:
    void RunMainWindow(const std::vector<std::wstring>& /*files*/) override {}
};

// Whether something listens on the service's port at `address` (host order).
bool Listens(uint32_t address) {
    platform::Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return platform::ConnectIpv4(socket.Descriptor(), address, servicePort) == 0;
}

// The real start-up and window; the window starts the service on the files
// from the command line, with its --bind, and is closed once it serves.
class AppClosedWhileServing : public COnduLofrinApp {
public:
    using COnduLofrinApp::COnduLofrinApp;
    std::vector<std::wstring> listed;
    bool wasServing = false;
    bool listenedOnlyWhereBound = false;

protected:
    void RunMainWindow(const std::vector<std::wstring>& files) override {
        listed = files;
        COnduLofrinDlg dialog(nullptr, ServicesFor(Service(), Options()));
        dialog.AddInitialFiles(files);
        QTimer::singleShot(0, &dialog, [&] { dialog.OnStartService(); });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
            if (dialog.IsStarting())
                return;
            wasServing = dialog.IsServing();
            listenedOnlyWhereBound = Listens(0x7F000002u) && !Listens(INADDR_LOOPBACK);
            dialog.reject();
        });
        poll.start(10);
        dialog.exec();
    }
};

int CountSockets() {
    int sockets = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink(entry.path(), error);
        if (!error && target.string().starts_with("socket:"))
            ++sockets;
    }
    return sockets;
}

std::string ThreadName(const std::filesystem::path& task) {
    std::ifstream comm(task / "comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// Qt may start a thread of its pool to paint the window; it stays idle until
// Qt expires it and is not the service's, so it does not count.
int CountThreads() {
    int threads = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        if (ThreadName(entry.path()) != "Thread (pooled)")
            ++threads;
    }
    return threads;
}

int RunChild(const std::string& scenario, char* programName) {
    if (scenario == "window-left-out") {
        int argc = 1;
        char* argv[] = {programName, nullptr};
        AppWithoutWindow app(argc, argv);
        return app.InitInstance() ? 10 : 0;
    }
    if (scenario == "desktop-start") {
        char option[] = "--xdg-state";
        int argc = 2;
        char* argv[] = {programName, option, nullptr};
        AppWithoutWindow app(argc, argv);
        return app.InitInstance() ? 10 : 0;
    }
    if (scenario == "steps-without-display") {
        RunStartupSteps();
        return QCoreApplication::instance() == nullptr ? 0 : 11;
    }
    if (scenario == "closed-while-serving") {
        // A first thread may bring helper threads of the runtime that stay
        // (ThreadSanitizer starts one); they must not count as the service's.
        std::thread([] {}).join();
        const int socketsBefore = CountSockets();
        const int threadsBefore = CountThreads();
        char first[] = "a.mp4";
        char second[] = "/videos/b.vrm";
        char bind[] = "--bind";
        char address[] = "127.0.0.2";
        int argc = 5;
        char* argv[] = {programName, first, bind, address, second, nullptr};
        AppClosedWhileServing app(argc, argv);
        app.InitInstance();
        if (!app.wasServing)
            return 12;
        if (!app.listenedOnlyWhereBound)
            return 16;
        const std::wstring here =
            platform::PathFromOsBytes(std::filesystem::current_path().string());
        if (app.listed != std::vector<std::wstring>{here + L"/a.mp4", L"/videos/b.vrm"})
            return 13;
        if (CountSockets() != socketsBefore)
            return 14;
        if (CountThreads() != threadsBefore) {
            for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
                std::fprintf(stderr, "thread left: %s\n", ThreadName(entry.path()).c_str());
            return 15;
        }
        return 0;
    }
    return 99;
}

// ---- the parent side ------------------------------------------------------

struct ChildRun {
    std::filesystem::path program;
    std::filesystem::path directory;
    std::string scenario = "window-left-out";
    std::vector<std::string> environment;
};

int Spawn(const ChildRun& run) {
    const ProgramRun child = RunProgram({run.program.string(), kChildFlag, run.scenario}, 60000,
                                        {run.directory, run.environment});
    if (child.exitCode != 0)
        std::fputs(child.errors.c_str(), stderr);
    return child.exitCode.value_or(-1);
}

std::vector<std::string> InheritedSanitizerOptions() {
    std::vector<std::string> kept;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::strstr(*variable, "SAN_OPTIONS=") != nullptr)
            kept.emplace_back(*variable);
    }
    return kept;
}

std::vector<uint8_t> ExpectedLog() {
    std::vector<uint8_t> bytes{0xFF, 0xFE};
    for (const char c : std::string("COnduLofrinApp::InitInstance()")) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(0);
    }
    bytes.insert(bytes.end(), {0x0D, 0x00, 0x0A, 0x00});
    return bytes;
}

std::string ConfigText(const std::filesystem::path& program) {
    return "[OnduLofrin]\nFireworkString=" + program.string() + "\n";
}

class StartupTest : public ::testing::Test {
protected:
    StartupTest() {
        std::filesystem::create_directories(Bin());
        WriteRecorder(Bin() / "netsh", NetshRecord());
        program_ = PlaceProgram(root_.Path() / "Ondu Lofrin" / "OnduLofrin probe");
        home_ = MakeDirectory("start here");
    }

    // This test program, reachable under `path`.
    std::filesystem::path PlaceProgram(const std::filesystem::path& path) {
        std::filesystem::create_directories(path.parent_path());
        const auto self = std::filesystem::read_symlink("/proc/self/exe");
        std::error_code error;
        std::filesystem::create_hard_link(self, path, error);
        if (error)
            std::filesystem::copy_file(self, path);
        return path;
    }

    std::filesystem::path MakeDirectory(const std::string& name) {
        const auto path = root_.Path() / name;
        std::filesystem::create_directories(path);
        return path;
    }

    int Start(const std::filesystem::path& program, const std::filesystem::path& directory,
              const std::string& scenario = "window-left-out",
              const std::vector<std::string>& environment = {}) {
        ChildRun run{program, directory, scenario, InheritedSanitizerOptions()};
        run.environment.insert(run.environment.end(), environment.begin(), environment.end());
        run.environment.push_back("PATH=" + Bin().string() + ":/usr/bin:/bin");
        if (scenario != "steps-without-display") {
            run.environment.push_back("QT_QPA_PLATFORM=offscreen");
        }
        return Spawn(run);
    }

    std::filesystem::path Bin() const { return root_.Path() / "bin"; }
    std::filesystem::path NetshRecord() const { return root_.Path() / "netsh-argv.txt"; }
    std::string Netsh() const { return ReadTextFile(NetshRecord()); }

    TempDir root_;
    std::filesystem::path program_;
    std::filesystem::path home_;
};

}  // namespace

TEST_F(StartupTest, FirstStartRecordsTheProgramAndAddsTheRuleOnce) {
    ASSERT_EQ(Start(program_, home_), 0);
    EXPECT_EQ(ReadTextFile(home_ / "Config.ini"), ConfigText(program_));
    EXPECT_EQ(Netsh(), "");
    EXPECT_EQ(ReadFileBytes(home_ / "log_OK_M.log"), ExpectedLog());

    // A second start from the same place runs no command and leaves one line.
    ASSERT_EQ(Start(program_, home_), 0);
    EXPECT_EQ(Netsh(), "");
    EXPECT_EQ(ReadTextFile(home_ / "Config.ini"), ConfigText(program_));
    EXPECT_EQ(ReadFileBytes(home_ / "log_OK_M.log"), ExpectedLog());
}

TEST_F(StartupTest, AnotherCurrentDirectoryHasItsOwnConfiguration) {
    ASSERT_EQ(Start(program_, home_), 0);
    const auto elsewhere = MakeDirectory("shortcut start-in");
    ASSERT_EQ(Start(program_, elsewhere), 0);
    EXPECT_EQ(Netsh(), "");
    EXPECT_EQ(ReadTextFile(elsewhere / "Config.ini"), ConfigText(program_));
    EXPECT_EQ(ReadTextFile(home_ / "Config.ini"), ConfigText(program_));
}

TEST_F(StartupTest, MovedOrRenamedProgramAddsARuleForItsNewPath) {
    ASSERT_EQ(Start(program_, home_), 0);
    const auto moved = PlaceProgram(root_.Path() / "moved" / "OnduLofrin");
    ASSERT_EQ(Start(moved, home_), 0);
    EXPECT_EQ(Netsh(), "");
    EXPECT_EQ(ReadTextFile(home_ / "Config.ini"), ConfigText(moved));
}

TEST_F(StartupTest, StoredPathDifferingOnlyInCaseCountsAsAnotherPath) {
    std::string shouted = program_.string();
    for (char& c : shouted)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string config = "[OnduLofrin]\nFireworkString=" + shouted + "\n";
    WriteFileBytes(home_ / "Config.ini", std::vector<uint8_t>(config.begin(), config.end()));
    ASSERT_EQ(Start(program_, home_), 0);
    EXPECT_EQ(Netsh(), "");
    EXPECT_EQ(ReadTextFile(home_ / "Config.ini"), ConfigText(program_));
}

TEST_F(StartupTest, HeadlessStepsNeedNoDisplay) {
    ASSERT_EQ(Start(program_, home_, "steps-without-display"), 0);
    EXPECT_EQ(ReadTextFile(home_ / "Config.ini"), ConfigText(program_));
    EXPECT_EQ(Netsh(), "");
    EXPECT_EQ(ReadFileBytes(home_ / "log_OK_M.log"), ExpectedLog());
}

// Started from the desktop menu in the home folder, the program keeps its
// files in the user's state folder and leaves the home folder as it was.
TEST_F(StartupTest, DesktopStartKeepsItsFilesInTheStateFolder) {
    const auto state = root_.Path() / "state";
    const struct {
        std::vector<std::string> environment;
        std::filesystem::path folder;
    } starts[] = {
        {{"HOME=" + home_.string()}, home_ / ".local/state/ondulofrin"},
        {{"HOME=" + home_.string(), "XDG_STATE_HOME=" + state.string()}, state / "ondulofrin"},
        {{"HOME=" + home_.string(), "XDG_STATE_HOME=relative"}, home_ / ".local/state/ondulofrin"},
    };
    for (const auto& start : starts) {
        std::filesystem::remove_all(start.folder);
        ASSERT_EQ(Start(program_, home_, "desktop-start", start.environment), 0);
        EXPECT_EQ(ReadTextFile(start.folder / "Config.ini"), ConfigText(program_));
        EXPECT_EQ(ReadFileBytes(start.folder / "log_OK_M.log"), ExpectedLog());
        EXPECT_EQ(std::filesystem::status(start.folder).permissions(),
                  std::filesystem::perms::owner_all);
        for (const auto& entry : std::filesystem::directory_iterator(home_))
            EXPECT_EQ(entry.path().filename(), ".local") << entry.path();
    }
}

// Also: the window's service listens only where --bind says.
TEST_F(StartupTest, ClosingTheWindowWhileServingStopsTheService) {
    EXPECT_EQ(Start(program_, home_, "closed-while-serving"), 0);
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kChildFlag) == 0)
        return RunChild(argv[2], argv[0]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
