#pragma once

#include <QString>

class QWidget;

// A modal message box owned by `parent` with only an OK button and no icon.
void ShowNoticeBox(QWidget* parent, const QString& text, const QString& caption);
