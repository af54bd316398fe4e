#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

// The arithmetic of zooming at the pointer, apart from the widgets.

// The largest scale the view zooms to (800%).
constexpr double kMaxZoomScale = 8.0;

// The scale after one step of the wheel or of + and -: up (direction > 0) or
// down from current through the fixed steps up to 800%, never below floor
// (the smaller of the chosen display's scale and the whole picture's).
double ZoomStep(double current, double floor, int direction);

// The size of a picture of the given size shown at the scale (at least one
// pixel each way).
QSize ZoomedSize(QSize picture, double scale);

// The view a zoomed picture is shown in.
struct TZoomView {
    QSize Picture;  // the picture's own size
    QSize Viewport; // the part of the view that shows it
    bool Centred;   // a picture smaller than the view sits in its middle (else top left)
};

// The scroll position after the scale goes from one value to another, so the
// picture's pixel under the pointer (viewport coordinates) stays under it;
// limited to what the view can scroll to.
QPoint ZoomScroll(const TZoomView& view, double from, QPoint scroll, double to, QPointF pointer);

// The part of the picture (its own coordinates) the view shows at the scale
// and scroll position.
QRect ZoomVisiblePart(const TZoomView& view, double scale, QPoint scroll);
