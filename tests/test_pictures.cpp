// The program's own icons: the tool-bar images, the output-folder glyphs and
// the program icon, rendered from the compiled-in SVG files.
#include "toolkit/IconSet.h"

#include <QApplication>
#include <QTest>

namespace {

int OpaquePixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) > 0;
    return n;
}

int DifferentPixels(const QImage& a, const QImage& b) {
    const QImage ca = a.convertToFormat(QImage::Format_ARGB32);
    const QImage cb = b.convertToFormat(QImage::Format_ARGB32);
    int n = 0;
    for (int y = 0; y < ca.height(); ++y)
        for (int x = 0; x < ca.width(); ++x)
            n += ca.pixel(x, y) != cb.pixel(x, y);
    return n;
}

QImage Picture(int kind, int index, int scale) {
    if (kind == 1)
        return DrawOutFolderGlyph(index, scale);
    const QIcon icon = ToolBarIcon(index);
    return icon.pixmap(QSize(PictureSize, PictureSize), qreal(scale)).toImage();
}

} // namespace

class TestPictures : public QObject {
    Q_OBJECT
private slots:
    // Every picture has its size at both scales and shows something.
    void sizesAndContent_data() {
        QTest::addColumn<int>("kind"); // 0 tool bar, 1 output glyph
        QTest::addColumn<int>("index");
        for (int i = 0; i < ToolBarImageCount; ++i)
            QTest::addRow("toolbar %d", i) << 0 << i;
        for (int k = 0; k <= 9; ++k)
            QTest::addRow("glyph %d", k) << 1 << k;
    }
    void sizesAndContent() {
        QFETCH(int, kind);
        QFETCH(int, index);
        for (int scale : {1, 2}) {
            const QImage img = Picture(kind, index, scale);
            QCOMPARE(img.size(), QSize(16 * scale, 16 * scale));
            QCOMPARE(img.deviceIndependentSize(), QSizeF(16, 16));
            const int opaque = OpaquePixels(img);
            // Not blank, and not a filled square either: the background shows.
            QVERIFY2(opaque > 16 * scale * scale * 16 / 5, qPrintable(QString::number(opaque)));
            QVERIFY2(opaque < 16 * 16 * scale * scale, qPrintable(QString::number(opaque)));
        }
    }

    // Each picture stands for a different thing: no two are alike, and the
    // ten folder glyphs differ in their digit.
    void allPicturesDiffer() {
        QList<QImage> all;
        for (int i = 0; i < ToolBarImageCount; ++i)
            all << Picture(0, i, 1);
        for (int k = 0; k <= 9; ++k)
            all << Picture(1, k, 1);
        for (int a = 0; a < all.size(); ++a)
            for (int b = a + 1; b < all.size(); ++b)
                QVERIFY2(DifferentPixels(all[a], all[b]) >= 4,
                         qPrintable(QStringLiteral("%1 and %2 look alike").arg(a).arg(b)));
    }

    // The digit is black and sits on the folder, so it reads.
    void glyphDigitIsBlackOnFolder() {
        for (int k = 0; k <= 9; ++k) {
            const QImage img = DrawOutFolderGlyph(k).convertToFormat(QImage::Format_ARGB32);
            int black = 0;
            for (int y = 5; y < 14; ++y)
                for (int x = 5; x < 12; ++x)
                    black += img.pixel(x, y) == qRgb(0, 0, 0);
            QVERIFY2(black >= 7, qPrintable(QString::number(k)));
            // The corners of the folder body stay yellow.
            const QColor body = img.pixelColor(2, 13);
            QVERIFY(body.red() > 200 && body.green() > 150 && body.blue() < 120);
        }
    }

    void outOfRangeIsEmpty() {
        QVERIFY(ToolBarIcon(ToolBarImageCount).isNull());
        QVERIFY(ToolBarIcon(-1).isNull());
        QCOMPARE(OpaquePixels(DrawOutFolderGlyph(10)), 0);
    }

    // The program icon is rendered from its SVG at every shipped size.
    void programIcon() {
        const QIcon icon = ProgramIcon();
        for (int size : ProgramIconSizes) {
            QVERIFY(icon.availableSizes().contains(QSize(size, size)));
            const QImage image = ProgramIconPixmap(size).toImage();
            QCOMPARE(image.size(), QSize(size, size));
            QVERIFY(OpaquePixels(image) > size * size / 3);
            QVERIFY(OpaquePixels(image) < size * size);
        }
    }
};

QTEST_MAIN(TestPictures)

#include "test_pictures.moc"
