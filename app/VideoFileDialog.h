#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The file dialog's three filters: every format the service takes, the
// packaged films alone, and the ordinary video formats.
QString VideoFileFilters();

// Lets the user pick any number of existing video files, starting in
// `folder` (the current directory when empty); empty when cancelled.
QStringList ChooseVideoFiles(QWidget* parent, const QString& folder = {});
