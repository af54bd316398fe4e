#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

// The picture area inside the scroll box. It shows an image made for its
// current size by ScaledImage and keeps it until its size or the picture
// changes, so painting never scales a large picture again.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    // Makes the image to show at the given size (null for none).
    std::function<QImage(QSize)> ScaledImage;
    // Forgets the kept image (a new picture was loaded).
    void Invalidate();

signals:
    void MouseDown(int x, int y);
    void MouseMove(int x, int y);
    void MouseUp(int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage Kept;
};
