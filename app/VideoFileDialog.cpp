#include "app/VideoFileDialog.h"

#include <QFileDialog>

QString VideoFileFilters() {
    return QStringLiteral(
        "OnduLofrin支持的所有格式(*.vrm;*.vrw;*.mp4;*.mov;*.mkv;*.ts等) "
        "(*.vrm *.vrw *.mp4 *.webm *.mov *.mkv *.ts *.m2ts *.flv *.avi *.wmv *.m4v *.m2t);;"
        "Ondu助手提供的大片资源(*.vrm;*.vrw) (*.vrm *.vrw);;"
        "普通视频格式(*.mp4;*.mov;*.mkv;*.ts等) "
        "(*.mp4 *.webm *.mov *.mkv *.ts *.m2ts *.flv *.avi *.wmv *.m4v *.m2t)");
}

QStringList ChooseVideoFiles(QWidget* parent) {
    return QFileDialog::getOpenFileNames(parent, QString(), QString(), VideoFileFilters());
}
