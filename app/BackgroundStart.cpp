#include "app/BackgroundStart.h"

#include "app/PostToWindow.h"

#include <utility>

BackgroundStart::BackgroundStart(QObject* window, DialogServices::StartService start,
                                 std::vector<std::wstring> paths, Progress progress,
                                 Finished finished) {
    thread_ = std::thread([this, window, start = std::move(start), paths = std::move(paths),
                           progress = std::move(progress), finished = std::move(finished)] {
        CatalogueBuildOptions build;
        build.cancel = &cancel_;
        build.onProgress = [window, &progress](size_t filesRead, size_t filesToRead) {
            PostToWindow(window,
                         [progress, filesRead, filesToRead] { progress(filesRead, filesToRead); });
        };
        const StartReport report = start(paths, build);
        PostToWindow(window, [finished, report] { finished(report); });
    });
}

BackgroundStart::~BackgroundStart() {
    Cancel();
    thread_.join();
}
