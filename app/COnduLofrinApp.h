#pragma once

#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "service/VideoService.h"

// The program with its window: creates the Qt application object, installs
// the translation the locale wants, runs the shared start-up steps, shows
// the main window modally with the list kept in Config.ini, and stops the
// service it owns once the window has closed. A stop still held after the
// window closed, by a read that does not return, is not waited for: the
// process ends within a second of the close.
class COnduLofrinApp {
public:
    // The command line read by ParseCommandLine: its files are listed, its
    // addresses, directory and cache choice apply to the window's starts. Qt is given only the
    // program name, so that no file name is taken for one of its options.
    COnduLofrinApp(char* programName, CommandLine line);
    // The same with the command line read from `argv`.
    COnduLofrinApp(int argc, char** argv);
    virtual ~COnduLofrinApp() = default;
    COnduLofrinApp(const COnduLofrinApp&) = delete;
    COnduLofrinApp& operator=(const COnduLofrinApp&) = delete;

    // Returns false in every case: there is nothing left to run afterwards,
    // and the process ends.
    bool InitInstance();

protected:
    // Shows the main window with `files` listed and returns when it has been
    // closed. Tests replace it to drive the window or to skip it.
    virtual void RunMainWindow(const std::vector<std::wstring>& files);

    // The service the window starts and stops, and what the command line
    // asks of its starts (the window's list gives the paths).
    VideoService& Service() { return service_; }
    const ServiceOptions& Options() const { return options_; }

private:
    int qtArgc_ = 1;
    char* qtArgv_[2] = {nullptr, nullptr};
    CommandLine line_;
    // The current directory before the start-up steps may leave it.
    std::wstring startDirectory_;
    ServiceOptions options_;
    // The program runs from a path Config.ini did not record.
    bool firewallOfferDue_ = false;
    VideoService service_;
};
