#include "app/HeadlessFrontEnd.h"

#include <cstdio>

#include "app/StartupSteps.h"
#include "service/VideoService.h"

int RunHeadless(const CommandLine& commandLine) {
    if (!commandLine.problems.empty()) {
        for (const std::string& problem : commandLine.problems) {
            std::fprintf(stderr, "OnduLofrin: %s\n", problem.c_str());
        }
        std::fputs(CommandLineUsage(), stderr);
        return 2;
    }
    RunStartupSteps();
    // The serving loop goes here: start the service on commandLine.files
    // (bound to commandLine.bindAddresses), run until asked to end, then stop.
    std::fputs("OnduLofrin: serving without a window is not available in this build\n", stderr);
    StopVideoService();
    return 1;
}
