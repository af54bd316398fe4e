#include "app/ImageView.h"

#include <QMouseEvent>
#include <QPainter>

TImage::TImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMouseTracking(false);
}

void TImage::Invalidate() {
    Kept = QImage();
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0 || !ScaledImage)
        return;
    if (Kept.isNull() || Kept.size() != size())
        Kept = ScaledImage(size());
    if (Kept.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), Kept);
}

void TImage::resizeEvent(QResizeEvent*) {
    if (!Kept.isNull() && Kept.size() != size())
        Kept = QImage();
}

void TImage::mousePressEvent(QMouseEvent* event) {
    emit MouseDown(event->position().toPoint().x(), event->position().toPoint().y());
}

void TImage::mouseMoveEvent(QMouseEvent* event) {
    emit MouseMove(event->position().toPoint().x(), event->position().toPoint().y());
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
    emit MouseUp(event->position().toPoint().x(), event->position().toPoint().y());
}
