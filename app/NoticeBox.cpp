#include "app/NoticeBox.h"

#include <QMessageBox>

void ShowNoticeBox(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}
