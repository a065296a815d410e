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

// What the main window needs from outside itself. The defaults are the real
// service operations, file dialog and message box; tests put their own in to
// drive the window and watch what it does.
struct DialogServices {
    using StartService =
        std::function<void(const std::vector<std::wstring>& paths, MessageBoxOwner* owner)>;
    using StopService = std::function<void()>;
    using ChooseFiles = std::function<QStringList(QWidget* parent)>;
    using ShowNotice =
        std::function<void(QWidget* parent, const QString& text, const QString& caption)>;

    StartService startVideoService = StartVideoService;
    StopService stopVideoService = StopVideoService;
    ChooseFiles chooseFiles = ChooseVideoFiles;
    ShowNotice showNotice = ShowNoticeBox;
};
