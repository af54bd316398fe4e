#include "app/ImageView.h"

#include <QMouseEvent>
#include <QPainter>

TImage::TImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMouseTracking(false);
}

void TImage::Invalidate() {
    Kept = QImage();
    Shown = QRect();
    update();
}

QRect TImage::Ready() const {
    const QRect ready = ReadyRect ? ReadyRect() : QRect();
    return ready.isEmpty() ? rect() : ready & rect();
}

void TImage::ShowReady() {
    const QRect ready = Ready();
    update(QRegion(ready).subtracted(Shown));
    Shown = ready;
}

void TImage::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0 || !ScaledImage)
        return;
    if (Kept.isNull() || Kept.size() != size())
        Kept = ScaledImage(size());
    if (Kept.isNull())
        return;
    // Asked after the image: what is ready then is in it. The rows past it
    // are being written meanwhile, so not even a conversion reads them.
    const QRect ready = Ready() & Kept.rect();
    Shown = ready;
    QPainter painter(this);
    if (ready == Kept.rect() || Kept.depth() < 8) {
        painter.drawImage(QPoint(0, 0), Kept);
        return;
    }
    if (ready.isEmpty())
        return;
    const QImage part(Kept.constScanLine(ready.top()) +
                          qsizetype(ready.left()) * (Kept.depth() / 8),
                      ready.width(), ready.height(), Kept.bytesPerLine(), Kept.format());
    painter.drawImage(ready.topLeft(), part);
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
