#pragma once

#include <QWidget>
#include <functional>

// A thin bar between two panes that resizes one of them live while dragged.
// The pane's size is asked from Size and given to Resize; CanResize may refuse
// a proposed size.
class TSplitter : public QWidget {
    Q_OBJECT
public:
    TSplitter(Qt::Orientation orientation, QWidget* parent = nullptr);

    std::function<int()> Size;
    std::function<void(int)> Resize;
    std::function<bool(int)> CanResize;

    // Moves as a drag from the pane's current size to newSize would.
    void DragTo(int newSize);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int Coordinate(const QPoint& global) const;

    Qt::Orientation Orientation;
    bool Pressed = false;
    int PressCoordinate = 0;
    int PressSize = 0;
};
