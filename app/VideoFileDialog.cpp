#include "app/VideoFileDialog.h"

#include <QCoreApplication>
#include <QFileDialog>

namespace {

// Each filter's name is translated; its patterns are not.
QString Filter(const char* name, const char* patterns) {
    return QCoreApplication::translate("VideoFileDialog", name) + QLatin1Char(' ') +
           QLatin1String(patterns);
}

}  // namespace

QString VideoFileFilters() {
    return QStringList{
        Filter(QT_TRANSLATE_NOOP("VideoFileDialog",
                                 "OnduLofrin支持的所有格式(*.vrm;*.vrw;*.mp4;*.mov;*.mkv;*.ts等)"),
               "(*.vrm *.vrw *.mp4 *.webm *.mov *.mkv *.ts *.m2ts *.flv *.avi *.wmv *.m4v *.m2t)"),
        Filter(QT_TRANSLATE_NOOP("VideoFileDialog", "Ondu助手提供的大片资源(*.vrm;*.vrw)"),
               "(*.vrm *.vrw)"),
        Filter(QT_TRANSLATE_NOOP("VideoFileDialog", "普通视频格式(*.mp4;*.mov;*.mkv;*.ts等)"),
               "(*.mp4 *.webm *.mov *.mkv *.ts *.m2ts *.flv *.avi *.wmv *.m4v *.m2t)"),
    }
        .join(QStringLiteral(";;"));
}

QStringList ChooseVideoFiles(QWidget* parent, const QString& folder) {
    return QFileDialog::getOpenFileNames(parent, QString(), folder, VideoFileFilters());
}
