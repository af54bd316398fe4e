#pragma once

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
