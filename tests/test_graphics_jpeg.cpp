// TJPEGImage: decoding, progress reports, damaged data and reduced decoding.
#include "platform/Exceptions.h"
#include "support/JpegWriter.h"
#include "support/TestSupport.h"
#include "toolkit/JPEGImage.h"
#include "toolkit/JPEGImageDecoder.h"
#include "toolkit/Picture.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QtTest>
#include <cstring>

namespace {

QImage Gradient(int width, int height) {
    QImage img(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.setPixel(x, y,
                         qRgb(x * 255 / qMax(1, width - 1), y * 255 / qMax(1, height - 1), 90));
    return img;
}

QByteArray JpegBytes(const QImage& image, int quality = 90, bool progressive = false) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpg");
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// A CMYK JPEG as Adobe's programs write it (inks stored inverted), one colour.
QByteArray CmykJpeg(int width, int height, const uchar stored[4]) {
    return WriteJpeg(QSize(width, height), TJpegKind{.Quality = 95, .Cmyk = true},
                     [&](int, uchar* row) {
                         for (int x = 0; x < width; ++x)
                             std::memcpy(row + 4 * x, stored, 4);
                     });
}

// Rewrites the size in the frame header (SOF0) of JPEG data.
QByteArray WithFrameSize(QByteArray jpeg, int width, int height) {
    const qsizetype sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    Q_ASSERT(sof > 0);
    jpeg[sof + 5] = char(height >> 8);
    jpeg[sof + 6] = char(height & 0xff);
    jpeg[sof + 7] = char(width >> 8);
    jpeg[sof + 8] = char(width & 0xff);
    return jpeg;
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

// Loads bytes as a file and records every progress report.
struct TRecordedLoad {
    QList<TReport> Reports;
    QString Error;
    bool Aborted = false;

    void Run(TJPEGImage& jpeg, const QString& path) {
        jpeg.OnProgress = [this](TGraphic*, TProgressStage stage, quint8 percent, bool redraw,
                                 const QRect& r, const QString&) {
            Reports.append({stage, percent, redraw, r});
        };
        try {
            jpeg.LoadFromFile(path);
        } catch (const EAbort&) {
            Aborted = true;
        } catch (const Exception& e) {
            Error = e.Message;
        }
    }
    int Count(int stage) const {
        return int(std::count_if(Reports.begin(), Reports.end(),
                                 [stage](const TReport& r) { return r.Stage == stage; }));
    }
};

} // namespace

class TestGraphicsJpeg : public QObject {
    Q_OBJECT

private slots:
    void loadsSizesAndPixels_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1x1") << QSize(1, 1);
        QTest::newRow("odd") << QSize(17, 9);
        QTest::newRow("vga") << QSize(640, 480);
        QTest::newRow("tall") << QSize(333, 1000);
    }
    void loadsSizesAndPixels() {
        QFETCH(QSize, size);
        TSandbox box;
        const QImage source = Gradient(size.width(), size.height());
        TJPEGImage jpeg;
        jpeg.LoadFromFile(box.writeFile("p.jpg", JpegBytes(source, 95)));
        QCOMPARE(jpeg.Width(), size.width());
        QCOMPARE(jpeg.Height(), size.height());
        QVERIFY(!jpeg.Empty());
        const QImage image = jpeg.ToImage();
        QCOMPARE(image.format(), QImage::Format_RGB32);
        for (QPoint p : {QPoint(0, 0), QPoint(size.width() / 2, size.height() / 2),
                         QPoint(size.width() - 1, size.height() - 1)}) {
            QVERIFY2(Near(image.pixel(p), source.pixel(p), 16),
                     qPrintable(QString::number(image.pixel(p), 16)));
            QCOMPARE(qAlpha(image.pixel(p)), 255);
        }
    }

    void grayscaleAndCmyk() {
        TSandbox box;
        QImage gray(32, 32, QImage::Format_Grayscale8);
        gray.fill(200);
        TJPEGImage g;
        g.LoadFromFile(box.writeFile("g.jpg", JpegBytes(gray)));
        QVERIFY(Near(g.ToImage().pixel(5, 5), qRgb(200, 200, 200), 3));

        const uchar redInverted[4] = {255, 0, 0, 255}; // C=0 M=100% Y=100% K=0
        TJPEGImage c;
        c.LoadFromFile(box.writeFile("c.jpg", CmykJpeg(24, 16, redInverted)));
        QCOMPARE(c.Width(), 24);
        QVERIFY2(Near(c.ToImage().pixel(10, 10), qRgb(255, 0, 0), 8),
                 qPrintable(QString::number(c.ToImage().pixel(10, 10), 16)));
    }

    void progressOfGoodLoad_data() {
        QTest::addColumn<bool>("progressive");
        QTest::newRow("baseline") << false;
        QTest::newRow("progressive") << true;
    }
    void progressOfGoodLoad() {
        QFETCH(bool, progressive);
        TSandbox box;
        const QByteArray bytes = JpegBytes(Gradient(640, 480), 90, progressive);
        QCOMPARE(bytes.contains(QByteArray("\xFF\xC2", 2)), progressive);
        const QString path = box.writeFile("p.jpg", bytes);
        TJPEGImage jpeg;
        TRecordedLoad load;
        load.Run(jpeg, path);
        QVERIFY(load.Error.isEmpty());
        QVERIFY(load.Reports.size() >= 4);
        QCOMPARE(load.Reports.first().Stage, int(psStarting));
        QCOMPARE(load.Reports.first().Percent, 0);
        QCOMPARE(load.Count(psStarting), 1);
        QCOMPARE(load.Count(psEnding), 1);
        const TReport last = load.Reports.last();
        QCOMPARE(last.Stage, int(psEnding));
        QCOMPARE(last.Percent, 100);
        QVERIFY(last.Redraw);
        QCOMPARE(last.R, QRect(0, 0, 640, 480));
        QVERIFY(load.Count(psRunning) >= 2);
        int previous = -1;
        for (const TReport& r : load.Reports.mid(1, load.Reports.size() - 2)) {
            QCOMPARE(r.Stage, int(psRunning));
            QVERIFY(r.Percent >= previous && r.Percent <= 100);
            previous = r.Percent;
        }
    }

    // Every load that started ends with exactly one ending report, last.
    void progressOfFailedLoad_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("abortAtHalf");
        QTest::addColumn<QString>("messagePart");
        QTest::newRow("zero bytes") << QByteArray() << false << "JPEG";
        QTest::newRow("not a jpeg") << QByteArray("GIF89a plus some more bytes") << false << "JPEG";
        QTest::newRow("cut inside the header")
            << JpegBytes(Gradient(64, 64)).left(30) << false << "JPEG";
        QTest::newRow("too large to hold")
            << WithFrameSize(JpegBytes(Gradient(16, 16)), 60000, 60000) << false << "大きすぎ";
        QTest::newRow("handler aborts") << JpegBytes(Gradient(640, 480)) << true << "";
    }
    void progressOfFailedLoad() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, abortAtHalf);
        QFETCH(QString, messagePart);
        TSandbox box;
        const QString path = box.writeFile("p.jpg", bytes);
        TJPEGImage jpeg;
        TRecordedLoad load;
        jpeg.OnProgress = nullptr;
        load.Run(jpeg, path);
        if (abortAtHalf) {
            // Run again with a handler that gives up half way.
            TJPEGImage second;
            load = TRecordedLoad();
            second.OnProgress = nullptr;
            auto& reports = load.Reports;
            second.OnProgress = [&reports](TGraphic*, TProgressStage stage, quint8 percent, bool,
                                           const QRect& r, const QString&) {
                reports.append({stage, percent, false, r});
                if (stage == psRunning && percent >= 50)
                    throw EAbort(QString());
            };
            try {
                second.LoadFromFile(path);
            } catch (const EAbort&) {
                load.Aborted = true;
            }
            QVERIFY(load.Aborted);
            QVERIFY(second.Empty());
        } else {
            QVERIFY2(load.Error.contains(messagePart), qPrintable(load.Error));
            QVERIFY(jpeg.Empty());
        }
        QCOMPARE(load.Reports.first().Stage, int(psStarting));
        QCOMPARE(load.Count(psEnding), 1);
        QCOMPARE(load.Reports.last().Stage, int(psEnding));
    }

    // Something else under a JPEG name is turned away before it is read.
    void otherDataIsNotReadWhole() {
        QByteArray bytes(1 << 20, 'x');
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        TJPEGImage jpeg;
        try {
            jpeg.LoadFromStream(buffer);
            QFAIL("the load should have failed");
        } catch (const EInvalidGraphic& e) {
            QVERIFY2(e.Message.contains("Not a JPEG file"), qPrintable(e.Message));
        }
        QCOMPARE(buffer.pos(), 0);
    }

    // A file cut short shows what arrived; the missing rest is filled in.
    void truncatedFile_data() {
        QTest::addColumn<double>("kept");
        QTest::newRow("half") << 0.5;
        QTest::newRow("three quarters") << 0.75;
        QTest::newRow("just past the header") << 0.0;
    }
    void truncatedFile() {
        QFETCH(double, kept);
        QImage source(256, 256, QImage::Format_RGB32);
        source.fill(qRgb(220, 30, 30));
        for (int y = 128; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                source.setPixel(x, y, qRgb(30, 30, 220));
        const QByteArray whole = JpegBytes(source);
        const qsizetype sos = whole.indexOf(QByteArray("\xFF\xDA", 2));
        const qsizetype length = kept > 0 ? qsizetype(whole.size() * kept) : sos + 20;
        TSandbox box;
        TJPEGImage jpeg;
        jpeg.LoadFromFile(box.writeFile("cut.jpg", whole.left(length)));
        QCOMPARE(jpeg.Width(), 256);
        QCOMPARE(jpeg.Height(), 256);
        QVERIFY(jpeg.Damaged());
        if (kept >= 0.5)
            QVERIFY(Near(jpeg.ToImage().pixel(100, 10), qRgb(220, 30, 30), 20));
    }

    void hundredMegapixelsLoad() {
        RegisterBuiltInGraphics();
        QVERIFY(QImageReader::allocationLimit() >= 400);
        // The header claims 10000 x 10000; the data for it is missing and is
        // filled in, which still needs the whole 400 MB picture.
        TSandbox box;
        TJPEGImage jpeg;
        jpeg.LoadFromFile(
            box.writeFile("big.jpg", WithFrameSize(JpegBytes(Gradient(16, 16)), 10000, 10000)));
        QCOMPARE(jpeg.Width(), 10000);
        QCOMPARE(jpeg.DecodedSize(), QSize(10000, 10000));
    }

    void scaleFor_data() {
        QTest::addColumn<QSize>("natural");
        QTest::addColumn<QSize>("target");
        QTest::addColumn<int>("scale");
        QTest::newRow("no target") << QSize(6000, 4000) << QSize() << 8;
        QTest::newRow("eighth fits") << QSize(6000, 4000) << QSize(750, 500) << 1;
        QTest::newRow("just over eighth") << QSize(6000, 4000) << QSize(751, 500) << 2;
        QTest::newRow("fit 800x600") << QSize(6000, 4000) << QSize(800, 533) << 2;
        QTest::newRow("half") << QSize(6000, 4000) << QSize(3000, 2000) << 4;
        QTest::newRow("more than half") << QSize(6000, 4000) << QSize(3001, 10) << 8;
        QTest::newRow("actual") << QSize(6000, 4000) << QSize(6000, 4000) << 8;
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
        const QString path = box.writeFile("p.jpg", JpegBytes(Gradient(800, 600)));
        TJPEGImage full;
        full.LoadFromFile(path);
        QCOMPARE(full.DecodedScale(), 8);

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
        QCOMPARE(jpeg.DecodedScale(), 1);
        QCOMPARE(jpeg.DecodedSize(), QSize(100, 75));
        QCOMPARE(jpeg.Width(), 800);
        QCOMPARE(jpeg.Height(), 600);
        const int reportsOfLoad = reports;

        QCOMPARE(jpeg.ScaledImage(QSize(100, 75)).size(), QSize(100, 75));
        QCOMPARE(jpeg.DecodedScale(), 1);
        QCOMPARE(jpeg.ScaledImage(QSize(150, 110)).size(), QSize(150, 110));
        QCOMPARE(jpeg.DecodedScale(), 2);

        // Drawing at 400 x 300 needs half the picture.
        QImage canvas(400, 300, QImage::Format_RGB32);
        {
            QPainter painter(&canvas);
            jpeg.Draw(painter, canvas.rect());
        }
        QCOMPARE(jpeg.DecodedScale(), 4);
        QVERIFY(Near(canvas.pixel(200, 150), full.ToImage().pixel(400, 300), 12));

        // The actual size is the full decode, pixel for pixel.
        const QImage actual = jpeg.ScaledImage(QSize(800, 600));
        QCOMPARE(jpeg.DecodedScale(), 8);
        QCOMPARE(actual, full.ToImage());
        // Decoding again while showing reports no progress.
        QCOMPARE(reports, reportsOfLoad);
    }

    void hintThatThrowsEndsTheLoad() {
        TSandbox box;
        const QString path = box.writeFile("p.jpg", JpegBytes(Gradient(64, 64)));
        TJPEGImage jpeg;
        jpeg.SetDecodeHint([](QSize) -> QSize { throw EInvalidGraphic("hint failed"); });
        TRecordedLoad load;
        load.Run(jpeg, path);
        QCOMPARE(load.Error, QString("hint failed"));
        QCOMPARE(load.Count(psEnding), 1);
        QVERIFY(jpeg.Empty());
    }
};

QTEST_MAIN(TestGraphicsJpeg)
#include "test_graphics_jpeg.moc"
