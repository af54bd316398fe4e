// Camera pictures shown upright: the EXIF orientation applied by the JPEG
// decoder, checked against ImageMagick's -auto-orient.
#include "support/JpegWriter.h"
#include "support/TestSupport.h"
#include "toolkit/JPEGImage.h"
#include "toolkit/JpegOrientation.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {
// Odd sizes, so that a turn by the wrong side shows too.
QByteArray Plain() {
    return JpegOf(Gradient(QSize(61, 35)), 92);
}
} // namespace

class TestJpegOrientation : public QObject {
    Q_OBJECT

private slots:
    // Each orientation with the turn (clockwise) and mirrors that set it upright.
    void matchesAutoOrient_data() {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("turn");
        QTest::addColumn<bool>("across");
        QTest::addColumn<bool>("down");
        QTest::newRow("1") << 1 << 0 << false << false;
        QTest::newRow("2") << 2 << 0 << true << false;
        QTest::newRow("3") << 3 << 0 << true << true;
        QTest::newRow("4") << 4 << 0 << false << true;
        QTest::newRow("5") << 5 << 90 << true << false;
        QTest::newRow("6") << 6 << 90 << false << false;
        QTest::newRow("7") << 7 << 90 << false << true;
        QTest::newRow("8") << 8 << 270 << false << false;
    }
    void matchesAutoOrient() {
        QFETCH(int, orientation);
        QFETCH(int, turn);
        QFETCH(bool, across);
        QFETCH(bool, down);
        TSandbox box;
        const QString path = box.writeFile(
            "p.jpg",
            WithApp1(Plain(), ExifBlock({{0x010F, 2, 0}, {0x0112, 3, quint32(orientation)}},
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
        stored.LoadFromFile(box.writeFile("plain.jpg", Plain()));
        small.SetDecodeHint([](QSize natural) { return natural / 2; });
        small.LoadFromFile(path);
        QCOMPARE(small.DecodedScale(), 4);
        QCOMPARE(small.ScaledImage(small.DecodedSize()), stored.ScaledImage(stored.DecodedSize())
                                                             .transformed(QTransform().rotate(turn))
                                                             .mirrored(across, down));
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
        jpeg.LoadFromFile(box.writeFile("p.jpg", WithApp1(Plain(), payload)));
        QCOMPARE(QSize(jpeg.Width(), jpeg.Height()),
                 orientation >= 5 ? QSize(35, 61) : QSize(61, 35));
        QVERIFY(!jpeg.Damaged());
    }
};

QTEST_MAIN(TestJpegOrientation)
#include "test_jpeg_orientation.moc"
