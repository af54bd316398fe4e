// TBitmap and TIcon on Qt's readers, bitmap file output and conversions.
#include "platform/Exceptions.h"
#include "support/TestSupport.h"
#include "toolkit/Bitmap.h"
#include "toolkit/Icon.h"
#include "toolkit/JPEGImage.h"

#include <QBuffer>
#include <QImageWriter>
#include <QtEndian>
#include <QtTest>

namespace {

QImage Pattern(int width, int height) {
    QImage img(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.setPixel(x, y, qRgb((x * 7) & 0xff, (y * 13) & 0xff, (x ^ y) & 0xff));
    return img;
}

QByteArray Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes;
}

// An icon file holding the given images as PNG entries.
QByteArray IconFile(const QList<QImage>& images) {
    QByteArray head(6 + 16 * images.size(), 0);
    QByteArray data;
    auto* h = reinterpret_cast<uchar*>(head.data());
    qToLittleEndian<quint16>(1, h + 2);
    qToLittleEndian<quint16>(quint16(images.size()), h + 4);
    for (int i = 0; i < images.size(); ++i) {
        const QByteArray png = Encoded(images[i], "png");
        uchar* e = h + 6 + 16 * i;
        e[0] = uchar(images[i].width() & 0xff);
        e[1] = uchar(images[i].height() & 0xff);
        qToLittleEndian<quint16>(1, e + 4);
        qToLittleEndian<quint16>(32, e + 6);
        qToLittleEndian<quint32>(quint32(png.size()), e + 8);
        qToLittleEndian<quint32>(quint32(head.size() + data.size()), e + 12);
        data += png;
    }
    return head + data;
}

QImage ReadBack(const QByteArray& bmp) {
    return QImage::fromData(bmp, "bmp").convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestGraphicsBitmap : public QObject {
    Q_OBJECT

private slots:
    void bitmapLoadsExactPixels() {
        TSandbox box;
        const QImage source = Pattern(37, 21);
        TBitmap bmp;
        bmp.LoadFromFile(box.writeFile("p.bmp", Encoded(source, "bmp")));
        QCOMPARE(bmp.Width(), 37);
        QCOMPARE(bmp.Height(), 21);
        QCOMPARE(bmp.Image().convertToFormat(QImage::Format_RGB32), source);
    }

    // The bitmap reader starts where the stream stands (a stream that a
    // plug-in failed on is handed over from its former position).
    void bitmapReadsFromStreamPosition() {
        QByteArray bytes = QByteArray("junk!junk!") + Encoded(Pattern(8, 8), "bmp");
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        buffer.seek(10);
        TBitmap bmp;
        bmp.LoadFromStream(buffer);
        QCOMPARE(bmp.Width(), 8);
    }

    // Whatever the header claims, the load fails cleanly.
    void bitmapWithLyingHeader_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QString>("messagePart");
        QTest::newRow("huge width") << 100000 << 4 << "データが途中で切れて";
        QTest::newRow("huge both") << 100000 << 100000 << "大きすぎて";
        QTest::newRow("over the limit") << 30000 << 30000 << "大きすぎて";
        QTest::newRow("within limit, data missing") << 5000 << 5000 << "データが途中で切れて";
        QTest::newRow("negative width") << -5 << 4 << "大きさが正しくありません";
        QTest::newRow("zero height") << 4 << 0 << "大きさが正しくありません";
    }
    void bitmapWithLyingHeader() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QString, messagePart);
        QByteArray bytes = Encoded(Pattern(4, 4), "bmp");
        qToLittleEndian<qint32>(width, bytes.data() + 18);
        qToLittleEndian<qint32>(height, bytes.data() + 22);
        TSandbox box;
        TBitmap bmp;
        try {
            bmp.LoadFromFile(box.writeFile("lie.bmp", bytes));
            QFAIL("the load should have failed");
        } catch (const EInvalidGraphic& e) {
            QVERIFY2(e.Message.contains(messagePart), qPrintable(e.Message));
        }
        QVERIFY(bmp.Empty());
    }

    void damagedFilesFail_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("zero-byte bmp") << "z.bmp" << QByteArray();
        QTest::newRow("zero-byte ico") << "z.ico" << QByteArray();
        QTest::newRow("text as bmp") << "t.bmp" << QByteArray("hello, this is not a bitmap");
        QTest::newRow("cut bmp") << "c.bmp" << Encoded(Pattern(64, 64), "bmp").left(2000);
        QTest::newRow("text as ico") << "t.ico" << QByteArray("hello, this is not an icon");
        QTest::newRow("cut ico") << "c.ico" << QByteArray("\0\0\1\0\2\0", 6);
        QTest::newRow("png as ico") << "p.ico" << Encoded(Pattern(8, 8), "png");
    }
    void damagedFilesFail() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        TSandbox box;
        const QString path = box.writeFile(name, bytes);
        std::unique_ptr<TGraphic> g;
        if (name.endsWith("bmp"))
            g = std::make_unique<TBitmap>();
        else
            g = std::make_unique<TIcon>();
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, g->LoadFromFile(path));
        QVERIFY(g->Empty());
    }

    void iconLoads() {
        TSandbox box;
        TIcon icon;
        icon.LoadFromFile(MakePicture(box.filePath("i.ico"), 32, 32));
        QCOMPARE(icon.Width(), 32);
        QCOMPARE(icon.Height(), 32);
        QVERIFY(qAlpha(icon.ToImage().pixel(3, 3)) > 0);
    }

    void iconTakesLargestImage() {
        QImage small(16, 16, QImage::Format_ARGB32);
        small.fill(qRgb(255, 0, 0));
        QImage large(48, 48, QImage::Format_ARGB32);
        large.fill(qRgb(0, 0, 255));
        TSandbox box;
        TIcon icon;
        icon.LoadFromFile(box.writeFile("two.ico", IconFile({small, large, small})));
        QCOMPARE(icon.Width(), 48);
        QCOMPARE(icon.ToImage().pixel(10, 10), qRgb(0, 0, 255));
    }

    // A bitmap file image that Qt reads back as the same pixels.
    void saveToStreamWritesBitmap() {
        const QImage source = Pattern(33, 17);
        TBitmap bmp;
        bmp.Assign(source);
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        bmp.SaveToStream(buffer);
        QVERIFY(out.startsWith("BM"));
        QCOMPARE(qFromLittleEndian<quint32>(out.constData() + 2), quint32(out.size()));
        QCOMPARE(ReadBack(out), source);

        TBitmap again;
        buffer.close();
        buffer.open(QIODevice::ReadOnly);
        again.LoadFromStream(buffer);
        QCOMPARE(again.Image().convertToFormat(QImage::Format_RGB32), source);
    }

    // A JPEG decoded small for the view still saves and converts at full size.
    void jpegConvertsAtFullSize() {
        TSandbox box;
        const QString path = box.writeFile("p.jpg", Encoded(Pattern(320, 240), "jpg"));
        TJPEGImage jpeg;
        jpeg.SetDecodeHint([](QSize) { return QSize(40, 30); });
        jpeg.LoadFromFile(path);
        QCOMPARE(jpeg.DecodedSize(), QSize(40, 30));
        TJPEGImage reference;
        reference.LoadFromFile(path);

        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        jpeg.SaveToStream(buffer);
        QCOMPARE(ReadBack(out), reference.ToImage());

        TBitmap bmp;
        bmp.Assign(jpeg);
        QCOMPARE(bmp.Width(), 320);
        QCOMPARE(bmp.Image(), reference.ToImage());
    }

    void emptyPictures() {
        TBitmap bmp;
        QVERIFY(bmp.Empty());
        QCOMPARE(bmp.Width(), 0);
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, bmp.SaveToStream(buffer));
        TIcon icon;
        bmp.Assign(icon);
        QVERIFY(bmp.Empty());
        QCOMPARE(bmp.ClassName(), QString("TBitmap"));
        QVERIFY(bmp.ClassType() != icon.ClassType());
    }
};

QTEST_MAIN(TestGraphicsBitmap)
#include "test_graphics_bitmap.moc"
