#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

#include "app/NoticeBox.h"
#include "app/VideoFileDialog.h"
#include "service/VideoService.h"

class QWidget;

// What the main window needs from outside itself: the service operations,
// the file dialog and the message box. Tests put their own in to drive the
// window and watch what it does.
struct DialogServices {
    // Runs on a thread of the window's; `build` brings the start's progress
    // listener and its cancel flag.
    using StartService =
        std::function<StartReport(const std::vector<std::wstring>& paths, MessageBoxOwner* owner,
                                  const CatalogueBuildOptions& build)>;
    using StopService = std::function<void()>;
    using ChooseFiles = std::function<QStringList(QWidget* parent)>;
    using ShowNotice =
        std::function<void(QWidget* parent, const QString& text, const QString& caption)>;

    StartService startVideoService;
    StopService stopVideoService;
    ChooseFiles chooseFiles = ChooseVideoFiles;
    ShowNotice showNotice = ShowNoticeBox;
};

// The real operations on `service`, the real file dialog and message box.
inline DialogServices ServicesFor(VideoService& service) {
    DialogServices services;
    services.startVideoService = [&service](const std::vector<std::wstring>& paths,
                                            MessageBoxOwner* owner,
                                            const CatalogueBuildOptions& build) {
        return service.StartVideoService(paths, owner, build);
    };
    services.stopVideoService = [&service] { service.StopVideoService(); };
    return services;
}
