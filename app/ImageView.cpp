#include "app/ImageView.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <utility>

TImage::TImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMouseTracking(false);
}

void TImage::Invalidate() {
    Kept = QImage();
    Fitted = QImage();
    Shown = QRect();
    update();
}

QRect TImage::Ready() const {
    const QRect ready = ReadyRect ? ReadyRect() : QRect();
    return ready.isEmpty() ? rect() : ready & rect();
}

void TImage::SetZoom(double scale, QSize natural) {
    if (scale == Scale && natural == Natural)
        return;
    // Going in or out of the zoom changes what is kept; between two
    // scales the picture at its own size is kept as it is. The image made
    // for the view before is kept too: zooming out to it costs nothing.
    if (natural != Natural)
        Fitted = QImage();
    if (scale > 0 && Scale <= 0)
        Fitted = std::exchange(Kept, QImage());
    else if (scale <= 0 && Scale > 0)
        Kept = std::exchange(Fitted, QImage());
    Scale = scale;
    Natural = natural;
    update();
}

void TImage::ShowReady() {
    if (Scale > 0) {
        update();
        return;
    }
    const QRect ready = Ready();
    update(QRegion(ready).subtracted(Shown));
    Shown = ready;
}

void TImage::paintEvent(QPaintEvent* event) {
    if (width() <= 0 || height() <= 0 || !ScaledImage)
        return;
    if (Scale > 0)
        return PaintZoomed(event->rect());
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

void TImage::PaintZoomed(const QRect& area) {
    if (Kept.isNull())
        Kept = ScaledImage(Natural);
    if (Kept.isNull())
        return;
    // Widget pixels per picture pixel along each axis, from the sizes
    // themselves so the edges meet exactly.
    const double sx = double(width()) / Kept.width();
    const double sy = double(height()) / Kept.height();
    const QRect exposed = area & rect();
    QRectF source(exposed.x() / sx, exposed.y() / sy, exposed.width() / sx, exposed.height() / sy);
    // Of a picture still decoding only the final rows are read.
    const QRect ready = ReadyRect ? ReadyRect() : QRect();
    if (!ready.isEmpty())
        source &= QRectF(ready & Kept.rect());
    Shown = rect();
    if (source.isEmpty())
        return;
    const QRectF target(source.x() * sx, source.y() * sy, source.width() * sx,
                        source.height() * sy);
    QPainter painter(this);
    // Enlarged pixels stay sharp squares; a reduction is smoothed.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, Scale < 1);
    painter.drawImage(target, Kept, source);
}

void TImage::resizeEvent(QResizeEvent*) {
    if (Scale > 0)
        return;
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
