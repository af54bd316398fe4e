#include "app/Splitter.h"

#include <QMouseEvent>

TSplitter::TSplitter(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), Orientation(orientation) {
    // A vertical bar splits left from right; a horizontal one top from bottom.
    if (Orientation == Qt::Vertical) {
        setCursor(Qt::SplitHCursor);
        setFixedWidth(3);
    } else {
        setCursor(Qt::SplitVCursor);
        setFixedHeight(3);
    }
}

int TSplitter::Coordinate(const QPoint& global) const {
    return Orientation == Qt::Vertical ? global.x() : global.y();
}

void TSplitter::DragTo(int newSize) {
    if (!CanResize || CanResize(newSize)) {
        if (Resize)
            Resize(newSize);
    }
}

void TSplitter::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    Pressed = true;
    PressCoordinate = Coordinate(event->globalPosition().toPoint());
    PressSize = Size ? Size() : 0;
}

void TSplitter::mouseMoveEvent(QMouseEvent* event) {
    if (!Pressed)
        return;
    const int delta = Coordinate(event->globalPosition().toPoint()) - PressCoordinate;
    const int proposed = PressSize + delta;
    if (Size && proposed == Size())
        return;
    DragTo(proposed);
}

void TSplitter::mouseReleaseEvent(QMouseEvent*) {
    Pressed = false;
}
