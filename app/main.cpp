#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/HeadlessService.h"
#include "app/StartupSteps.h"
#include "platform/CurrentDirectory.h"
#include "platform/ProgramVersion.h"

#ifdef ONDU_WITH_WINDOW
#include "app/COnduLofrinApp.h"
#endif

namespace {

int RunWindow(int& argc, char** argv) {
#ifdef ONDU_WITH_WINDOW
    COnduLofrinApp application(argc, argv);
    application.InitInstance();
    return 0;
#else
    (void)argc;
    (void)argv;
    std::fputs("OnduLofrin: this build has no window; use --serve\n", stderr);
    return 2;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    // Qt's own options are still in the arguments here; only the mode counts
    // before the window's application object has taken them out.
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const CommandLine commandLine = ParseCommandLine(arguments, platform::CurrentDirectory());
    switch (commandLine.mode) {
        case CommandLine::Mode::Version:
            std::printf("OnduLofrin %s\n", kProgramVersion);
            return 0;
        case CommandLine::Mode::Serve:
            // The same start-up steps as the window, then serving without one.
            RunStartupSteps();
            return RunHeadlessService(std::vector<std::string>(argv + 2, argv + argc));
        case CommandLine::Mode::Window:
            break;
    }
    return RunWindow(argc, argv);
}
