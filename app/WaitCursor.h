#pragma once

#include <QCursor>
#include <QGuiApplication>

// Shows `shape` over every window of the program while the object lives.
// Override cursors stack, so a box shown during a wait can ask for the arrow.
class WaitCursor {
public:
    explicit WaitCursor(Qt::CursorShape shape = Qt::WaitCursor) {
        QGuiApplication::setOverrideCursor(QCursor(shape));
    }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};
