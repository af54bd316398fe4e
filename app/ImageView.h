#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

// The picture area inside the scroll box. It shows an image made for its
// current size by ScaledImage and keeps it until its size or the picture
// changes, so painting never scales a large picture again. Of a picture
// still decoding, only the part that ReadyRect names is drawn; the rest
// shows the view's background until ShowReady tells it is there.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    // Makes the image to show at the given size (null for none).
    std::function<QImage(QSize)> ScaledImage;
    // The part of that image whose pixels are final (empty: all of it).
    std::function<QRect()> ReadyRect;
    // Forgets the kept image (a new picture was loaded).
    void Invalidate();
    // More of the picture is ready: that part is drawn.
    void ShowReady();
    // Zoomed (scale above 0): the widget is the picture at that scale, and
    // only the part to paint is scaled from the picture at its own size,
    // never the whole. 0 goes back to the image made for the widget's size.
    void SetZoom(double scale, QSize natural);
    double Zoom() const { return Scale; }

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
    QRect Ready() const;
    void PaintZoomed(const QRect& area);

    QImage Kept;
    QRect Shown; // the ready part when last drawn or asked for
    double Scale = 0;
    QImage Fitted; // the image made for the widget before zooming, kept for zooming out
    QSize Natural;
};
