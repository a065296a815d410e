#pragma once

#include <string>
#include <vector>

#include "service/VideoService.h"

// The program with its window: creates the Qt application object, runs the
// shared start-up steps, shows the main window modally and stops the service
// it owns once the window has closed.
class COnduLofrinApp {
public:
    // `argc` and `argv` go to Qt, which takes its own options out of them;
    // what is left names the files to list.
    COnduLofrinApp(int& argc, char** argv) : argc_(argc), argv_(argv) {}
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

    // The service the window starts and stops.
    VideoService& Service() { return service_; }

private:
    std::vector<std::wstring> FilesFromCommandLine() const;

    int& argc_;
    char** argv_;
    VideoService service_;
};
