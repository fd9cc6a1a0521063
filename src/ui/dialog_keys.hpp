// Keys that a dialog without default or cancel actions must not act on.
#pragma once

#include <QKeyEvent>

namespace varnolt::ui {

// Takes Enter and Escape away from QDialog, which would accept or reject the
// dialog with them; true when the key was taken.
inline bool SwallowEnterAndEscape(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return true;
    default:
        return false;
    }
}

} // namespace varnolt::ui
