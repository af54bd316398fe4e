#include "spi/SPIDib.h"
#include "spi_plugin.h"

#include <QBuffer>
#include <QImage>
#include <QtTest>
#include <climits>

namespace {

// An info block: a header of the given size and the colour entries.
QByteArray Info(qint32 width, qint32 height, int bits, quint32 compression = 0, quint32 clrUsed = 0,
                quint32 headerSize = 40, int entries = -1) {
    if (entries < 0)
        entries = clrUsed ? int(clrUsed) : (bits <= 8 ? 1 << bits : 0);
    QByteArray block(int(qMax(headerSize, 40u)) + 4 * entries +
                         (compression == 3 && headerSize == 40 ? 12 : 0),
                     '\0');
    SpiBitmapInfoHeader h{};
    h.biSize = headerSize;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = quint16(bits);
    h.biCompression = compression;
    h.biClrUsed = clrUsed;
    memcpy(block.data(), &h, sizeof h);
    return block;
}

} // namespace

class TestSPIDib : public QObject {
    Q_OBJECT
private slots:
    // Returned pictures are checked against the sizes of their blocks.
    void layoutChecks_data() {
        QTest::addColumn<QByteArray>("info");
        QTest::addColumn<int>("infoBytes"); // -1: the block's own size
        QTest::addColumn<qint64>("bitsBytes");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("colors");
        QTest::newRow("24 bit exact") << Info(3, 2, 24) << -1 << qint64(24) << true << 0;
        QTest::newRow("24 bit one byte short") << Info(3, 2, 24) << -1 << qint64(23) << false << 0;
        QTest::newRow("top-down") << Info(3, -2, 24) << -1 << qint64(24) << true << 0;
        QTest::newRow("8 bit full table") << Info(4, 1, 8) << -1 << qint64(4) << true << 256;
        QTest::newRow("8 bit used colours") << Info(4, 1, 8, 0, 3) << -1 << qint64(4) << true << 3;
        QTest::newRow("table cut short")
            << Info(4, 1, 8) << 40 + 4 * 255 << qint64(4) << false << 0;
        QTest::newRow("more colours than the depth")
            << Info(4, 1, 4, 0, 17) << -1 << qint64(4) << false << 0;
        QTest::newRow("huge used colours")
            << Info(4, 1, 24, 0, 0x40000000, 40, 0) << -1 << qint64(12) << false << 0;
        QTest::newRow("header size beyond block")
            << Info(3, 2, 24, 0, 0, 200, 0) << 100 << qint64(24) << false << 0;
        QTest::newRow("header size too small")
            << Info(3, 2, 24, 0, 0, 12, 0) << 40 << qint64(24) << false << 0;
        QTest::newRow("longer header, table after it")
            << Info(2, 2, 1, 0, 0, 108) << -1 << qint64(8) << true << 2;
        QTest::newRow("block smaller than a header")
            << Info(3, 2, 24) << 39 << qint64(24) << false << 0;
        QTest::newRow("zero width") << Info(0, 2, 24) << -1 << qint64(24) << false << 0;
        QTest::newRow("negative width") << Info(-3, 2, 24) << -1 << qint64(24) << false << 0;
        QTest::newRow("zero height") << Info(3, 0, 24) << -1 << qint64(24) << false << 0;
        QTest::newRow("most negative height")
            << Info(3, INT_MIN, 24) << -1 << qint64(1) << false << 0;
        QTest::newRow("odd bit count") << Info(3, 2, 3) << -1 << qint64(24) << false << 0;
        QTest::newRow("run-length coded") << Info(3, 2, 8, 1) << -1 << qint64(24) << false << 0;
        QTest::newRow("colour masks on 16 bit")
            << Info(3, 2, 16, 3) << -1 << qint64(16) << true << 0;
        QTest::newRow("colour masks on 24 bit")
            << Info(3, 2, 24, 3) << -1 << qint64(24) << false << 0;
        QTest::newRow("width times bits overflows 32 bits")
            << Info(0x7fffffff, 1, 32) << -1 << qint64(64) << false << 0;
    }
    void layoutChecks() {
        QFETCH(QByteArray, info);
        QFETCH(int, infoBytes);
        QFETCH(qint64, bitsBytes);
        QFETCH(bool, valid);
        QFETCH(int, colors);
        const TDibLayout layout =
            ReadDibLayout(info.constData(), infoBytes < 0 ? size_t(info.size()) : size_t(infoBytes),
                          size_t(bitsBytes));
        QCOMPARE(layout.Valid, valid);
        if (valid) {
            QCOMPARE(layout.ColorCount, quint32(colors));
            QCOMPARE(layout.InfoSize, quint32(40 + 4 * colors));
        }
    }

    void imageOfMaskedAndLongHeaders() {
        // 16-bit rows with 5-6-5 masks after a 40-byte header.
        QByteArray info = Info(2, 1, 16, 3);
        const quint32 masks[3] = {0xf800, 0x07e0, 0x001f};
        memcpy(info.data() + 40, masks, 12);
        const quint16 pixels[2] = {0xf800, 0x001f}; // red, blue
        TDibLayout layout = ReadDibLayout(info.constData(), size_t(info.size()), 4);
        QVERIFY(layout.Valid);
        QBuffer out;
        out.open(QIODevice::ReadWrite);
        WriteDibFile(out, layout, info.constData(), pixels);
        QImage image = QImage::fromData(out.data(), "BMP");
        // Five bits of red, five of blue: the reader scales them to 248.
        QCOMPARE(image.pixel(0, 0), qRgb(248, 0, 0));
        QCOMPARE(image.pixel(1, 0), qRgb(0, 0, 248));

        // A 108-byte header: its colour table follows it; the image gets a
        // 40-byte header.
        QByteArray longInfo = Info(2, 1, 1, 0, 0, 108);
        const SpiRgbQuad table[2] = {{0, 0, 255, 0}, {0, 255, 0, 0}};
        memcpy(longInfo.data() + 108, table, 8);
        const uchar bits[4] = {0x40, 0, 0, 0}; // pixel 0 colour 0, pixel 1 colour 1
        layout = ReadDibLayout(longInfo.constData(), size_t(longInfo.size()), 4);
        QVERIFY(layout.Valid);
        QCOMPARE(DibColorTable(layout, longInfo.constData()),
                 (QList<QRgb>{qRgb(255, 0, 0), qRgb(0, 255, 0)}));
        out.buffer().clear();
        out.seek(0);
        WriteDibFile(out, layout, longInfo.constData(), bits);
        QCOMPARE(out.data().size(), 14 + 40 + 8 + 4);
        image = QImage::fromData(out.data(), "BMP");
        QCOMPARE(image.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(image.pixel(1, 0), qRgb(0, 255, 0));
    }
};

QTEST_MAIN(TestSPIDib)
#include "test_spi_dib.moc"
