#include "app/ZoomMath.h"

#include <QRect>
#include <algorithm>
#include <array>
#include <cmath>

namespace {
constexpr std::array<double, 13> kSteps{1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3, 1.0,
                                        1.5,     2.0,     3.0,     4.0,     6.0,     8.0};
// Scales this close count as the same (a fitted scale just below a step).
constexpr double kSame = 1.001;

// Where the picture's left (or top) edge sits in the viewport along one axis.
double Offset(int shown, int viewport, bool centred) {
    return centred && shown < viewport ? (viewport - shown) / 2.0 : 0.0;
}

int ScrollAlong(int picture, int viewport, bool centred, double from, int scroll, double to,
                double pointer) {
    const int shownBefore = ZoomedSize(QSize(picture, 1), from).width();
    const int shownAfter = ZoomedSize(QSize(picture, 1), to).width();
    const double pixel = (pointer - Offset(shownBefore, viewport, centred) + scroll) / from;
    // A picture smaller than the view after the step has nothing to scroll.
    const double wanted = pixel * to - pointer;
    return std::clamp(int(std::lround(wanted)), 0, std::max(0, shownAfter - viewport));
}
} // namespace

double ZoomStep(double current, double floor, int direction) {
    if (direction > 0) {
        for (double step : kSteps)
            if (step > current * kSame && step > floor * kSame)
                return step;
        return std::max(current, floor);
    }
    double result = floor;
    for (double step : kSteps)
        if (step * kSame < current && step > floor * kSame)
            result = step;
    return std::min(result, std::max(current, floor));
}

QSize ZoomedSize(QSize picture, double scale) {
    return QSize(std::max(1, int(std::lround(picture.width() * scale))),
                 std::max(1, int(std::lround(picture.height() * scale))));
}

QPoint ZoomScroll(const TZoomView& view, double from, QPoint scroll, double to, QPointF pointer) {
    return QPoint(ScrollAlong(view.Picture.width(), view.Viewport.width(), view.Centred, from,
                              scroll.x(), to, pointer.x()),
                  ScrollAlong(view.Picture.height(), view.Viewport.height(), view.Centred, from,
                              scroll.y(), to, pointer.y()));
}

QRect ZoomVisiblePart(const TZoomView& view, double scale, QPoint scroll) {
    const QRect shown(QPoint(0, 0), ZoomedSize(view.Picture, scale));
    const QRect visible = QRect(scroll, view.Viewport) & shown;
    return QRect(int(std::floor(visible.left() / scale)), int(std::floor(visible.top() / scale)),
                 int(std::ceil(visible.width() / scale)),
                 int(std::ceil(visible.height() / scale))) &
           QRect(QPoint(0, 0), view.Picture);
}
