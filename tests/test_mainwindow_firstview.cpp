// A large picture at actual size: what the view shows first is drawn before
// the rest is decoded; the view never shows a wrong pixel, and a part dragged
// into view shows as soon as it is decoded.
#include "app/ImageView.h"
#include "app/Preloader.h"
#include "support/MainWindowFixture.h"
#include "toolkit/JPEGImage.h"
#include "toolkit/Picture.h"

#include <QAction>
#include <QListWidget>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QtTest>

namespace {
// Pixels of the view that are neither the picture's nor the empty view's.
int WrongPixels(TfrmVelmo& w, const QImage& whole, bool emptyAllowed) {
    // What the window shows, not a new rendering of it.
    QWidget* view = w.scbMain->viewport();
    const QPoint corner = view->mapTo(&w, QPoint(0, 0));
    const QImage shot =
        w.screen()
            ->grabWindow(w.winId(), corner.x(), corner.y(), view->width(), view->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    const QRgb empty = view->palette().color(view->backgroundRole()).rgb();
    const QPoint at = -w.imgMain->pos();
    int wrong = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = shot.pixel(x, y);
            wrong += p != whole.pixel(at + QPoint(x, y)) && !(emptyAllowed && p == empty);
        }
    return wrong;
}
} // namespace

class TestMainWindowFirstView : public QObject {
    Q_OBJECT
private slots:
    void firstViewThenRest() {
        TMainWindowFixture f;
        const QString a = MakePicture(f.Pics + "/p00.jpg", 4000, 3000);
        const QString b = MakePicture(f.Pics + "/p01.jpg", 4000, 3000, QColor(20, 200, 60));
        f.WriteIni(QStringLiteral("[PATH]\nCurrentPath=%1\n[ACTION]\nDispSize=0\n").arg(f.Pics));
        TJPEGImage wholeA, wholeB;
        wholeA.LoadFromFile(a);
        wholeB.LoadFromFile(b);
        TfrmVelmo& w = f.Open();
        // Nothing decoded ahead: the next key decodes its first view.
        w.Preloads().SetEnabled(false);
        w.Preloads().Clear();
        int starts = 0, ends = 0;
        const TProgressEvent shown = w.Picture().OnProgress;
        w.Picture().OnProgress = [&](TGraphic* g, TProgressStage stage, quint8 percent, bool r,
                                     const QRect& rect, const QString& msg) {
            starts += stage == psStarting;
            ends += stage == psEnding;
            shown(g, stage, percent, r, rect, msg);
        };
        w.actNext->trigger();
        QCOMPARE(w.ShownIndex, 1);
        QCOMPARE(f.Panel(2), QString("4000 x 3000"));
        QCOMPARE(starts, 1);
        QCOMPARE(ends, 1);
        QVERIFY(w.lstFile->isEnabled());
        QVERIFY(!w.pgbMain->isVisible());
        QCOMPARE(WrongPixels(w, wholeB.ToImage(), false), 0);

        // A key while the rest decodes: the picture it asks for, whole.
        w.actPrev->trigger();
        QCOMPARE(w.ShownIndex, 0);
        QTRY_COMPARE_WITH_TIMEOUT(WrongPixels(w, wholeA.ToImage(), false), 0, 20000);
        QCOMPARE(w.Picture().Graphic()->ToImage(), wholeA.ToImage());

        // Dragged to the bottom right at once: the empty view or the
        // picture, then the picture.
        w.actNext->trigger();
        w.imgMainMouseDown(3000, 2000);
        w.imgMainMouseMove(-2000, -1000);
        w.imgMainMouseUp(-2000, -1000);
        QVERIFY(w.imgMain->pos().x() < -3000 && w.imgMain->pos().y() < -2000);
        // The view repaints now, not when a loaded machine gets round to it:
        // until then the window's buffer still holds the moved old pixels.
        w.scbMain->viewport()->repaint();
        QCOMPARE(WrongPixels(w, wholeB.ToImage(), true), 0);
        QTRY_COMPARE_WITH_TIMEOUT(WrongPixels(w, wholeB.ToImage(), false), 0, 20000);
        QVERIFY(f.Errors.isEmpty());
    }
};

QTEST_MAIN(TestMainWindowFirstView)
#include "test_mainwindow_firstview.moc"
