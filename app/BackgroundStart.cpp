#include "app/BackgroundStart.h"

#include <QMetaObject>
#include <QObject>

#include <utility>

BackgroundStart::BackgroundStart(QObject* window, DialogServices::StartService start,
                                 std::vector<std::wstring> paths, Progress progress,
                                 Finished finished) {
    thread_ = std::thread([this, window, start = std::move(start), paths = std::move(paths),
                           progress = std::move(progress), finished = std::move(finished)] {
        CatalogueBuildOptions build;
        build.cancel = &cancel_;
        build.onProgress = [window, &progress](size_t filesRead, size_t filesToRead) {
            QMetaObject::invokeMethod(
                window, [progress, filesRead, filesToRead] { progress(filesRead, filesToRead); },
                Qt::QueuedConnection);
        };
        const StartReport report = start(paths, build);
        QMetaObject::invokeMethod(
            window, [finished, report] { finished(report); }, Qt::QueuedConnection);
    });
}

BackgroundStart::~BackgroundStart() {
    Cancel();
    thread_.join();
}
