#pragma once

#include "platform/MessageBox.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QRect>
#include <QString>

// Small helpers for the dialogs' fixed layouts.

// The widget, named for findChild.
template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A push button at a fixed place that Enter never presses.
inline QPushButton* MakeButton(const QString& caption, const char* name, QWidget* parent,
                               QRect place) {
    auto* b = Named(new QPushButton(caption, parent), name);
    b->setGeometry(place);
    // Enter must not press it.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

// A check box or radio button at a fixed place.
template <typename T>
T* MakeChoice(const QString& caption, const char* name, QWidget* parent, int x, int y) {
    auto* c = Named(new T(caption, parent), name);
    c->setGeometry(x, y, 340, 20);
    return c;
}

// Enter and Esc never close Velmo's dialogs: true when the key was one of
// them and has been refused.
inline bool RefuseCloseKey(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->ignore();
        return true;
    default:
        return false;
    }
}

// A dialog's close steps for a close event: the query, then, when it lets
// the dialog close, the close step. False when the close was refused.
template <typename Query, typename Close>
bool RunCloseSteps(QCloseEvent* event, Query&& query, Close&& close) {
    bool closing = false;
    Guarded([&] { closing = query(); });
    if (!closing) {
        event->ignore();
        return false;
    }
    Guarded(close);
    return true;
}
