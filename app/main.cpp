#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/DisplayCheck.h"
#include "app/HeadlessService.h"
#include "app/StartupSteps.h"
#include "platform/CurrentDirectory.h"
#include "platform/DescriptorLimit.h"
#include "platform/OperatorLog.h"
#include "platform/ProgramVersion.h"

#ifdef ONDU_WITH_WINDOW
#include "app/COnduLofrinApp.h"
#endif

namespace {

int ReportProblems(const CommandLine& line) {
    for (const std::string& problem : line.problems)
        std::fprintf(stderr, "OnduLofrin: %s\n", problem.c_str());
    std::fprintf(stderr, "%s\n", kHelpPointer);
    return 2;
}

int RunWindow(char* programName, const CommandLine& line) {
#ifdef ONDU_WITH_WINDOW
    // Qt ends the process when it finds no display; said here, before any Qt
    // object exists, the user learns what to do instead.
    if (!HasDisplay(ProcessEnvironment)) {
        std::fprintf(stderr, "%s\n", kNoDisplayText);
        return 1;
    }
    COnduLofrinApp application(programName, line);
    application.InitInstance();
    return 0;
#else
    (void)programName;
    (void)line;
    std::fputs("OnduLofrin: this build has no window; use --serve\n", stderr);
    return 1;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    // Every headset connection costs a descriptor, and so does every title a
    // headset opens: a flood of connections should meet the hard limit, not
    // the low soft one kept for programs that use select().
    (void)platform::RaiseDescriptorLimit();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const CommandLine line = ParseCommandLine(arguments, platform::CurrentDirectory());
    switch (line.mode) {
        case CommandLine::Mode::Help:
            std::fputs(kUsageText, stdout);
            return 0;
        case CommandLine::Mode::Version:
            std::printf("OnduLofrin %s\n", kProgramVersion);
            return 0;
        case CommandLine::Mode::Invalid:
            return ReportProblems(line);
        case CommandLine::Mode::Serve:
            platform::SetOperatorDetail(line.detail);
            // The same start-up steps as the window, then serving without one.
            RunStartupSteps(line);
            return RunHeadlessService(line);
        case CommandLine::Mode::Window:
            break;
    }
    platform::SetOperatorDetail(line.detail);
    return RunWindow(argv[0], line);
}
