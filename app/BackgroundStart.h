#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/DialogServices.h"

class QObject;

// A service start on a thread of its own, so that the window keeps painting
// and answering while the titles are read. Its progress and then its report
// reach `window` through the window's event queue, in the order they came;
// the start never waits for the window. Destroying the object cancels the
// start and waits for its thread, which the cancel ends quickly.
class BackgroundStart {
public:
    using Progress = std::function<void(size_t filesRead, size_t filesToRead)>;
    using Finished = std::function<void(const StartReport& report)>;

    BackgroundStart(QObject* window, DialogServices::StartService start,
                    std::vector<std::wstring> paths, Progress progress, Finished finished);
    ~BackgroundStart();
    BackgroundStart(const BackgroundStart&) = delete;
    BackgroundStart& operator=(const BackgroundStart&) = delete;

    // The report still comes, marked cancelled unless the start had already
    // got past its last step.
    void Cancel() { cancel_ = true; }

private:
    std::atomic<bool> cancel_{false};
    std::thread thread_;
};
