// TJPEGImage: decoding, progress reports, damaged data and reduced decoding.
#include "platform/Exceptions.h"
#include "support/JpegWriter.h"
#include "support/TestSupport.h"
#include "toolkit/JPEGImage.h"
#include "toolkit/JPEGImageDecoder.h"
#include "toolkit/Picture.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QtTest>

namespace {

// Rewrites the size in the frame header (SOF0) of JPEG data.
QByteArray WithFrameSize(QByteArray jpeg, int width, int height) {
    const char size[4] = {char(height >> 8), char(height), char(width >> 8), char(width)};
    return jpeg.replace(jpeg.indexOf("\xFF\xC0") + 5, 4, size, 4);
}

bool Near(QRgb a, QRgb b, int tolerance) {
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

struct TReport {
    int Stage;
    int Percent;
    bool Redraw;
    QRect R;
};

} // namespace

class TestGraphicsJpeg : public QObject {
    Q_OBJECT

private slots:
    // Every load reports its start, rising percents and one ending report,
    // last, whether it succeeds or fails.
    void load_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QImage>("expected"); // none when the load fails
        QTest::addColumn<int>("tolerance");
        QTest::addColumn<QString>("failure"); // a part of its message
        for (QSize size : {QSize(1, 1), QSize(17, 9), QSize(640, 480), QSize(333, 1000)})
            QTest::addRow("%dx%d", size.width(), size.height())
                << JpegOf(Gradient(size), 95) << Gradient(size) << 16 << "";
        const QImage vga = Gradient(QSize(640, 480));
        const QByteArray progressive = JpegOf(vga, 95, true);
        QVERIFY(progressive.contains("\xFF\xC2")); // written progressive indeed
        QTest::newRow("progressive") << progressive << vga << 16 << "";
        QImage gray(32, 32, QImage::Format_Grayscale8);
        gray.fill(200);
        QTest::newRow("grey") << JpegOf(gray) << gray << 3 << "";
        // Inks stored inverted, as Adobe's programs write them: C=0 M=100% Y=100% K=0.
        const uchar inks[4] = {255, 0, 0, 255};
        QImage red(24, 16, QImage::Format_RGB32);
        red.fill(qRgb(255, 0, 0));
        QTest::newRow("CMYK") << WriteJpeg(QSize(24, 16), TJpegKind{.Quality = 95, .Cmyk = true},
                                           [&](int, uchar* row) {
                                               for (int i = 0; i < 4 * 24; ++i)
                                                   row[i] = inks[i % 4];
                                           })
                              << red << 8 << "";
        const QByteArray good = JpegOf(vga);
        QTest::newRow("zero bytes") << QByteArray() << QImage() << 0 << "JPEG";
        QTest::newRow("not a jpeg") << QByteArray("GIF89a and more") << QImage() << 0 << "JPEG";
        QTest::newRow("cut inside the header") << good.left(30) << QImage() << 0 << "JPEG";
        QTest::newRow("too large to hold")
            << WithFrameSize(good, 60000, 60000) << QImage() << 0 << "大きすぎ";
        QTest::newRow("handler aborts") << good << QImage() << 0 << "aborted";
        QTest::newRow("size hint throws") << good << QImage() << 0 << "hint failed";
    }
    void load() {
        QFETCH(QByteArray, bytes);
        QFETCH(QImage, expected);
        QFETCH(int, tolerance);
        QFETCH(QString, failure);
        TSandbox box;
        TJPEGImage jpeg;
        if (failure == "hint failed")
            jpeg.SetDecodeHint([](QSize) -> QSize { throw EInvalidGraphic("hint failed"); });
        QList<TReport> reports;
        jpeg.OnProgress = [&](TGraphic*, TProgressStage stage, quint8 percent, bool redraw,
                              const QRect& r, const QString&) {
            reports.append({stage, percent, redraw, r});
            if (failure == "aborted" && stage == psRunning && percent >= 50)
                throw EAbort(QString());
        };
        QString error;
        try {
            jpeg.LoadFromFile(box.writeFile("p.jpg", bytes));
        } catch (const EAbort&) {
            error = "aborted";
        } catch (const Exception& e) {
            error = e.Message;
        }
        QVERIFY2(failure.isEmpty() ? error.isEmpty() : error.contains(failure), qPrintable(error));
        QCOMPARE(jpeg.Empty(), expected.isNull());
        QCOMPARE(reports.first().Stage, int(psStarting));
        QCOMPARE(reports.first().Percent, 0);
        int previous = -1;
        for (const TReport& r : reports.mid(1, reports.size() - 2)) {
            QCOMPARE(r.Stage, int(psRunning));
            QVERIFY(r.Percent >= previous && r.Percent <= 100);
            previous = r.Percent;
        }
        const TReport last = reports.last();
        QCOMPARE(last.Stage, int(psEnding));
        if (expected.isNull())
            return;
        QCOMPARE(last.Percent, 100);
        QVERIFY(last.Redraw);
        QCOMPARE(last.R, expected.rect());
        if (expected.height() >= 480) // long enough to report on the way
            QVERIFY(reports.size() >= 4);
        QCOMPARE(QSize(jpeg.Width(), jpeg.Height()), expected.size());
        const QImage image = jpeg.ToImage();
        QCOMPARE(image.format(), QImage::Format_RGB32);
        const QPoint end(expected.width() - 1, expected.height() - 1);
        for (QPoint p : {QPoint(0, 0), end / 2, end})
            QVERIFY2(Near(image.pixel(p), expected.pixel(p), tolerance),
                     qPrintable(QString::number(image.pixel(p), 16)));
    }

    // Something else under a JPEG name is turned away before it is read.
    void otherDataIsNotReadWhole() {
        QByteArray bytes(1 << 20, 'x');
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QString message;
        try {
            TJPEGImage().LoadFromStream(buffer);
        } catch (const EInvalidGraphic& e) {
            message = e.Message;
        }
        QVERIFY2(message.contains("Not a JPEG file"), qPrintable(message));
        QCOMPARE(buffer.pos(), 0);
    }

    // A file cut short shows what arrived; the missing rest is filled in.
    void truncatedFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("topArrived");
        QImage source(256, 256, QImage::Format_RGB32);
        source.fill(qRgb(220, 30, 30));
        QPainter(&source).fillRect(0, 128, 256, 128, QColor(30, 30, 220));
        const QByteArray whole = JpegOf(source);
        const QSize size(256, 256);
        QTest::newRow("half") << whole.left(whole.size() / 2) << size << true;
        QTest::newRow("three quarters") << whole.left(whole.size() * 3 / 4) << size << true;
        QTest::newRow("just past the header")
            << whole.left(whole.indexOf("\xFF\xDA") + 20) << size << false;
        // Filling in the missing data still needs the whole 400 MB picture.
        QTest::newRow("header claims 100 megapixels")
            << WithFrameSize(JpegOf(Gradient(QSize(16, 16))), 10000, 10000) << QSize(10000, 10000)
            << false;
    }
    void truncatedFile() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(bool, topArrived);
        RegisterBuiltInGraphics();
        QVERIFY(QImageReader::allocationLimit() >= 400);
        TSandbox box;
        TJPEGImage jpeg;
        jpeg.LoadFromFile(box.writeFile("cut.jpg", bytes));
        QCOMPARE(QSize(jpeg.Width(), jpeg.Height()), size);
        QCOMPARE(jpeg.DecodedSize(), size);
        QVERIFY(jpeg.Damaged());
        if (topArrived)
            QVERIFY(Near(jpeg.ToImage().pixel(100, 10), qRgb(220, 30, 30), 20));
    }

    void scaleFor_data() {
        QTest::addColumn<QSize>("natural");
        QTest::addColumn<QSize>("target");
        QTest::addColumn<int>("scale");
        QTest::newRow("no target") << QSize(6000, 4000) << QSize() << 8;
        QTest::newRow("eighth fits") << QSize(6000, 4000) << QSize(750, 500) << 1;
        QTest::newRow("just over eighth") << QSize(6000, 4000) << QSize(751, 500) << 2;
        QTest::newRow("half") << QSize(6000, 4000) << QSize(3000, 2000) << 4;
        QTest::newRow("more than half") << QSize(6000, 4000) << QSize(3001, 10) << 8;
        QTest::newRow("enlarged") << QSize(100, 100) << QSize(482, 482) << 8;
        QTest::newRow("odd rounds up") << QSize(17, 9) << QSize(3, 3) << 2;
    }
    void scaleFor() {
        QFETCH(QSize, natural);
        QFETCH(QSize, target);
        QFETCH(int, scale);
        QCOMPARE(JpegScaleFor(natural, target), scale);
    }

    // Decoded small for a small view, decoded again when shown larger.
    void reducedDecodeKeepsNaturalSize() {
        TSandbox box;
        const QString path = box.writeFile("p.jpg", JpegOf(Gradient(QSize(800, 600))));
        TJPEGImage full;
        full.LoadFromFile(path);
        TJPEGImage jpeg;
        QSize asked;
        jpeg.SetDecodeHint([&](QSize natural) {
            asked = natural;
            return QSize(100, 75);
        });
        int reports = 0;
        jpeg.OnProgress = [&](TGraphic*, TProgressStage, quint8, bool, const QRect&,
                              const QString&) { ++reports; };
        jpeg.LoadFromFile(path);
        QCOMPARE(asked, QSize(800, 600));
        QCOMPARE(jpeg.DecodedSize(), QSize(100, 75));
        QCOMPARE(QSize(jpeg.Width(), jpeg.Height()), QSize(800, 600));
        const int reportsOfLoad = reports;

        QCOMPARE(jpeg.ScaledImage(QSize(100, 75)).size(), QSize(100, 75));
        QCOMPARE(jpeg.DecodedScale(), 1);
        QCOMPARE(jpeg.ScaledImage(QSize(150, 110)).size(), QSize(150, 110));
        QCOMPARE(jpeg.DecodedScale(), 2);
        // Drawing at 400 x 300 needs half the picture.
        QImage canvas(400, 300, QImage::Format_RGB32);
        QPainter painter(&canvas);
        jpeg.Draw(painter, canvas.rect());
        painter.end();
        QCOMPARE(jpeg.DecodedScale(), 4);
        QVERIFY(Near(canvas.pixel(200, 150), full.ToImage().pixel(400, 300), 12));
        // The actual size is the full decode, pixel for pixel.
        QCOMPARE(jpeg.ScaledImage(QSize(800, 600)), full.ToImage());
        QCOMPARE(jpeg.DecodedScale(), 8);
        // Decoding again while showing reports no progress.
        QCOMPARE(reports, reportsOfLoad);
    }
};

QTEST_MAIN(TestGraphicsJpeg)
#include "test_graphics_jpeg.moc"
