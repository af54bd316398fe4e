// A JPEG shown at its own size: the first view is decoded before the load
// returns, the rest in the background, and every pixel that counts as ready
// is the pixel of a whole decode.
#include "platform/Exceptions.h"
#include "support/JpegWriter.h"
#include "support/TestSupport.h"
#include "toolkit/JPEGImage.h"
#include "toolkit/Picture.h"

#include <QtTest>
#include <atomic>

namespace {

// A noisy picture written by libjpeg as the kind asks.
QByteArray MakeJpeg(QSize size, const TJpegKind& kind) {
    quint32 seed = 7;
    return WriteJpeg(size, kind, [&](int y, uchar* row) {
        for (int x = 0; x < size.width(); ++x) {
            seed = seed * 1664525 + 1013904223;
            row[3 * x] = uchar(x * 255 / size.width() ^ (seed >> 27));
            row[3 * x + 1] = uchar(y * 255 / size.height());
            row[3 * x + 2] = uchar((seed >> 24) | 0x80);
        }
    });
}

} // namespace

Q_DECLARE_METATYPE(TJpegKind)

class TestJpegFirstView : public QObject {
    Q_OBJECT
private slots:
    void firstViewThenRest_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<TJpegKind>("kind");
        QTest::addColumn<double>("kept"); // of the file; 1 = all of it
        QTest::addColumn<bool>("staged"); // the load returns before the whole is decoded
        const QSize big(1600, 1200);
        QTest::newRow("baseline 4:2:0") << big << TJpegKind{} << 1.0 << true;
        QTest::newRow("baseline 4:4:4") << big << TJpegKind{1} << 1.0 << true;
        QTest::newRow("progressive") << big << TJpegKind{2, true} << 1.0 << true;
        QTest::newRow("restart markers") << big << TJpegKind{2, false, 1} << 1.0 << true;
        QTest::newRow("odd size") << QSize(1601, 1203) << TJpegKind{} << 1.0 << true;
        QTest::newRow("cut short") << big << TJpegKind{} << 0.6 << true;
        QTest::newRow("turned, rows become columns")
            << big << TJpegKind{2, false, 0, 8} << 1.0 << true;
        QTest::newRow("turned, first view at the end")
            << big << TJpegKind{2, false, 0, 6} << 1.0 << false;
        QTest::newRow("smaller than the view") << QSize(300, 200) << TJpegKind{} << 1.0 << false;
    }
    void firstViewThenRest() {
        QFETCH(QSize, size);
        QFETCH(TJpegKind, kind);
        QFETCH(double, kept);
        QFETCH(bool, staged);
        TSandbox box;
        const QByteArray bytes = MakeJpeg(size, kind);
        const QString path = box.writeFile("p.jpg", bytes.left(qsizetype(bytes.size() * kept)));
        TJPEGImage whole;
        whole.LoadFromFile(path);
        const QImage expected = whole.ToImage();

        const QRect view(0, 0, 400, 300);
        TJPEGImage jpeg;
        std::atomic<int> grown{0};
        jpeg.SetOnGrow([&grown] { ++grown; });
        int ends = 0;
        jpeg.OnProgress = [&](TGraphic*, TProgressStage stage, quint8, bool, const QRect&,
                              const QString&) { ends += stage == psEnding; };
        jpeg.SetFirstViewHint(
            [&](QSize natural) { return natural == expected.size() ? view : QRect(); });
        jpeg.LoadFromFile(path);
        QCOMPARE(ends, 1);
        QCOMPARE(QSize(jpeg.Width(), jpeg.Height()), expected.size());
        const QRect first = jpeg.ReadyRect();
        QVERIFY(first.contains(view & expected.rect()));
        QCOMPARE(first != expected.rect(), staged);
        // However far the rest has come, what counts as ready is right.
        // The image is taken before the rect, while the rest is written.
        bool wrong = false;
        QVERIFY(QTest::qWaitFor(
            [&] {
                const QImage image = jpeg.ScaledImage(expected.size());
                const QRect ready = jpeg.ReadyRect();
                wrong = wrong || image.copy(ready) != expected.copy(ready);
                return wrong || ready == expected.rect();
            },
            20000));
        QVERIFY(!wrong);
        QCOMPARE(grown > 0, staged);
        QCOMPARE(jpeg.ToImage(), expected);
        QCOMPARE(jpeg.Damaged(), kept < 1);
        QCOMPARE(ends, 1);
    }

    // A new picture stops the rest of the one held, and a failed load lets
    // it go on.
    void stopAndResume() {
        RegisterBuiltInGraphics();
        TSandbox box;
        const QString big = box.writeFile("big.jpg", MakeJpeg(QSize(4000, 3000), TJpegKind{}));
        const QString bad = box.writeFile("bad.jpg", "not a picture");
        TPicture picture;
        picture.SetFirstViewHint([](QSize) { return QRect(0, 0, 400, 300); });
        picture.LoadFromFile(big);
        picture.StopBackground();
        // Stopped, it stays as it was while a whole decode runs meanwhile.
        const QRect stopped = picture.ReadyRect();
        QVERIFY(stopped.height() < 3000);
        TJPEGImage whole;
        whole.LoadFromFile(big);
        QCOMPARE(picture.ReadyRect(), stopped);
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, picture.LoadFromFile(bad));
        QTRY_COMPARE_WITH_TIMEOUT(picture.ReadyRect(), QRect(0, 0, 4000, 3000), 20000);
        QCOMPARE(picture.Graphic()->ToImage(), whole.ToImage());
    }
};

QTEST_MAIN(TestJpegFirstView)
#include "test_jpeg_firstview.moc"
