// Camera pictures shown upright: the EXIF orientation applied by the JPEG
// decoder, checked against ImageMagick's -auto-orient.
#include "support/JpegWriter.h"
#include "support/TestSupport.h"
#include "toolkit/JPEGImage.h"
#include "toolkit/JpegOrientation.h"

#include <QBuffer>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {

QByteArray Jpeg(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpg");
    writer.setQuality(92);
    writer.write(image);
    return bytes;
}

// Corners of different colours, odd sizes: every turn and mirror shows.
QImage Sample() {
    QImage img(61, 35, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, qRgb(x * 4, y * 7, (x * y) % 256));
    return img;
}

// What the orientation asks of Qt's own transforms, to check reduced decodes.
QImage Upright(const QImage& stored, int orientation) {
    QTransform turn;
    turn.rotate(orientation == 8 ? 270 : 90);
    switch (orientation) {
    case 2:
        return stored.mirrored(true, false);
    case 3:
        return stored.mirrored(true, true);
    case 4:
        return stored.mirrored(false, true);
    case 5:
        return stored.transformed(turn).mirrored(true, false);
    case 6:
    case 8:
        return stored.transformed(turn);
    case 7:
        return stored.transformed(turn).mirrored(false, true);
    default:
        return stored;
    }
}

} // namespace

class TestJpegOrientation : public QObject {
    Q_OBJECT

private slots:
    void matchesAutoOrient_data() {
        QTest::addColumn<int>("orientation");
        for (int o = 1; o <= 8; ++o)
            QTest::addRow("%d", o) << o;
    }
    void matchesAutoOrient() {
        QFETCH(int, orientation);
        TSandbox box;
        const QByteArray plain = Jpeg(Sample());
        const QString path = box.writeFile(
            "p.jpg", WithApp1(plain, ExifBlock({{0x010F, 2, 0}, {0x0112, 3, quint32(orientation)}},
                                               orientation % 2 == 0)));
        const QString convert = QStandardPaths::findExecutable("convert");
        QVERIFY2(!convert.isEmpty(), "ImageMagick (scripts/install-deps.sh) is missing");
        QProcess magick;
        magick.start(convert, {path, "-auto-orient", "ppm:-"});
        QVERIFY(magick.waitForFinished(30000));
        const QImage expected = QImage::fromData(magick.readAllStandardOutput(), "PPM")
                                    .convertToFormat(QImage::Format_RGB32);
        QVERIFY(!expected.isNull());

        TJPEGImage jpeg;
        jpeg.LoadFromFile(path);
        QCOMPARE(QSize(jpeg.Width(), jpeg.Height()), expected.size());
        QCOMPARE(jpeg.ToImage(), expected);

        // Decoded smaller for a fitted view, it is turned the same way.
        TJPEGImage stored, small;
        stored.SetDecodeHint([](QSize natural) { return natural / 2; });
        stored.LoadFromFile(box.writeFile("plain.jpg", plain));
        small.SetDecodeHint([](QSize natural) { return natural / 2; });
        small.LoadFromFile(path);
        QCOMPARE(small.DecodedScale(), 4);
        QCOMPARE(small.ScaledImage(small.DecodedSize()),
                 Upright(stored.ScaledImage(stored.DecodedSize()), orientation));
    }

    // Whatever an EXIF block holds, the picture shows; only a sound
    // orientation turns it.
    void damagedBlocks_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("orientation");
        const QByteArray six = ExifBlock({{0x0112, 3, 6}});
        QTest::newRow("sound, Intel order") << six << 6;
        QTest::newRow("sound, Motorola order") << ExifBlock({{0x0112, 3, 8}}, true) << 8;
        QTest::newRow("value 9") << ExifBlock({{0x0112, 3, 9}}) << 1;
        QTest::newRow("wrong type") << ExifBlock({{0x0112, 2, 6}}) << 1;
        QTest::newRow("no tag") << ExifBlock({{0x010F, 3, 6}}) << 1;
        QTest::newRow("cut in the entry") << six.left(six.size() - 8) << 1;
        QTest::newRow("unknown byte order") << QByteArray(six).replace(6, 2, "XY") << 1;
        QTest::newRow("directory far away")
            << QByteArray(six).replace(10, 4, QByteArray("\xF0\xFF\xFF\x7F", 4)) << 1;
        QTest::newRow("count runs past the end")
            << QByteArray(six).replace(14, 2, QByteArray("\xFF\xFF", 2)) << 6;
        QTest::newRow("XMP, not EXIF") << QByteArray("http://ns.adobe.com/xap/1.0/\0<x/>", 33) << 1;
    }
    void damagedBlocks() {
        QFETCH(QByteArray, payload);
        QFETCH(int, orientation);
        QCOMPARE(ExifOrientation(reinterpret_cast<const uchar*>(payload.constData()),
                                 size_t(payload.size())),
                 orientation);
        TSandbox box;
        TJPEGImage jpeg;
        jpeg.LoadFromFile(box.writeFile("p.jpg", WithApp1(Jpeg(Sample()), payload)));
        QCOMPARE(QSize(jpeg.Width(), jpeg.Height()),
                 orientation >= 5 ? QSize(35, 61) : QSize(61, 35));
        QVERIFY(!jpeg.Damaged());
    }
};

QTEST_MAIN(TestJpegOrientation)
#include "test_jpeg_orientation.moc"
