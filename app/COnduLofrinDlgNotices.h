#pragma once

#include <QString>

#include <string>

// The texts of the main window's message boxes, in the window's language.
QString NoticeCaption();
QString EmptyListText();
QString TooManyVideosText();
QString NoListenerText(const std::string& reason);
