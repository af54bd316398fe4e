// Camera pictures shown upright: the EXIF orientation applied by the JPEG
// decoder, checked against ImageMagick's -auto-orient.
#include "support/JpegWriter.h"
#include "support/TestSupport.h"
#include "toolkit/JPEGImage.h"
#include "toolkit/JpegOrientation.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

class TestJpegOrientation : public QObject {
    Q_OBJECT

private slots:
    // Whatever an EXIF block holds, the picture shows; only a sound
    // orientation turns it.
    void upright_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("orientation");
        for (int o = 1; o <= 8; ++o)
            QTest::addRow("%d", o)
                << ExifBlock({{0x010F, 2, 0}, {0x0112, 3, quint32(o)}}, o % 2 == 0) << o;
        const QByteArray six = ExifBlock({{0x0112, 3, 6}});
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
    void upright() {
        QFETCH(QByteArray, payload);
        QFETCH(int, orientation);
        QCOMPARE(ExifOrientation(reinterpret_cast<const uchar*>(payload.constData()),
                                 size_t(payload.size())),
                 orientation);
        // Odd sizes, so that a turn by the wrong side shows too.
        const QByteArray plain = JpegOf(Gradient(QSize(61, 35)), 92);
        TSandbox box;
        const QString path = box.writeFile("p.jpg", WithApp1(plain, payload));
        const QString convert = QStandardPaths::findExecutable("convert");
        QVERIFY2(!convert.isEmpty(), "ImageMagick (scripts/install-deps.sh) is missing");
        QProcess magick;
        magick.start(convert, {path, "-auto-orient", "ppm:-"});
        QVERIFY(magick.waitForFinished(30000));
        const QImage expected = QImage::fromData(magick.readAllStandardOutput(), "PPM")
                                    .convertToFormat(QImage::Format_RGB32);
        QCOMPARE(expected.size(), orientation >= 5 ? QSize(35, 61) : QSize(61, 35));
        TJPEGImage jpeg;
        jpeg.LoadFromFile(path);
        QCOMPARE(QSize(jpeg.Width(), jpeg.Height()), expected.size());
        QCOMPARE(jpeg.ToImage(), expected);
        QVERIFY(!jpeg.Damaged());

        // Decoded smaller for a fitted view, it is turned the same way: by a
        // quarter turn clockwise (odd turns counted back), then mirrored.
        TJPEGImage stored, small;
        stored.SetDecodeHint([](QSize natural) { return natural / 2; });
        stored.LoadFromFile(box.writeFile("plain.jpg", plain));
        small.SetDecodeHint([](QSize natural) { return natural / 2; });
        small.LoadFromFile(path);
        QCOMPARE(small.DecodedScale(), 4);
        const int turn = orientation == 8 ? 270 : orientation >= 5 ? 90 : 0;
        const bool across = orientation == 2 || orientation == 3 || orientation == 5;
        const bool down = orientation == 3 || orientation == 4 || orientation == 7;
        QCOMPARE(small.ScaledImage(small.DecodedSize()), stored.ScaledImage(stored.DecodedSize())
                                                             .transformed(QTransform().rotate(turn))
                                                             .mirrored(across, down));
    }
};

QTEST_MAIN(TestJpegOrientation)
#include "test_jpeg_orientation.moc"
