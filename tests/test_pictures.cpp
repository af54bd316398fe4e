// The program's pictures. Run with "--make-icons DIR" to write the program
// icon PNGs that resources/velmo.qrc compiles in, and with "--sheet FILE" to
// render every picture to a contact sheet at 4x zoom for a look.
#include "app/Pictures.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QSet>
#include <QTest>

namespace {

int OpaquePixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) > 0;
    return n;
}

// How many pixels differ by more than the tolerance in any channel.
int DifferentPixels(const QImage& a, const QImage& b, int tolerance) {
    const QImage ca = a.convertToFormat(QImage::Format_ARGB32);
    const QImage cb = b.convertToFormat(QImage::Format_ARGB32);
    int n = 0;
    for (int y = 0; y < ca.height(); ++y)
        for (int x = 0; x < ca.width(); ++x) {
            const QRgb pa = ca.pixel(x, y), pb = cb.pixel(x, y);
            if (qAbs(qRed(pa) - qRed(pb)) > tolerance ||
                qAbs(qGreen(pa) - qGreen(pb)) > tolerance ||
                qAbs(qBlue(pa) - qBlue(pb)) > tolerance ||
                qAbs(qAlpha(pa) - qAlpha(pb)) > tolerance)
                ++n;
        }
    return n;
}

int MakeIcons(const QString& dir) {
    QDir().mkpath(dir);
    for (int size : ProgramIconSizes) {
        const QString path = QDir(dir).filePath(QStringLiteral("velmo-%1.png").arg(size));
        if (!DrawProgramIcon(size).save(path))
            return 1;
        printf("%s\n", qPrintable(path));
    }
    return 0;
}

int MakeSheet(const QString& file) {
    const int zoom = 4, cell = 16 * zoom + 8;
    QImage sheet(2 * 10 * cell + 16, 6 * cell + 256 + 48, QImage::Format_ARGB32);
    sheet.fill(QColor(0xf0, 0xf0, 0xf0));
    QPainter p(&sheet);
    p.fillRect(QRect(10 * cell + 16, 0, 10 * cell, sheet.height()), QColor(0x30, 0x30, 0x30));
    for (int half = 0; half < 2; ++half) {
        const int x0 = half * (10 * cell + 16) + 4;
        for (int i = 0; i < 10; ++i) {
            const int x = x0 + i * cell;
            auto put = [&](const QImage& img, int row) {
                QImage one = img;
                one.setDevicePixelRatio(1);
                p.drawImage(QRect(x, 4 + row * cell, 16 * zoom, 16 * zoom), one);
            };
            put(DrawToolBarImage(i, 1), 0);
            put(DrawToolBarImage(i, 2), 1);
            put(DrawOutFolderGlyph(i, 1), 2);
            put(DrawOutFolderGlyph(i, 2), 3);
            QImage real = DrawToolBarImage(i, 1), glyph = DrawOutFolderGlyph(i, 1);
            p.drawImage(x, 4 + 4 * cell, real);
            p.drawImage(x + 24, 4 + 4 * cell, glyph);
        }
        int x = x0;
        for (int size : {16, 32, 48}) {
            p.drawImage(QRect(x, 4 + 5 * cell, size * zoom / 2, size * zoom / 2),
                        DrawProgramIcon(size));
            p.drawImage(x, 4 + 5 * cell + size * 2 + 4, DrawProgramIcon(size));
            x += size * zoom / 2 + 12;
        }
        p.drawImage(x, 4 + 5 * cell, DrawProgramIcon(256));
    }
    p.end();
    return sheet.save(file) ? 0 : 1;
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
            const QImage img =
                kind == 0 ? DrawToolBarImage(index, scale) : DrawOutFolderGlyph(index, scale);
            QCOMPARE(img.size(), QSize(16 * scale, 16 * scale));
            QCOMPARE(img.deviceIndependentSize(), QSizeF(16, 16));
            const int opaque = OpaquePixels(img);
            // Not blank, and not a filled square either: the background shows.
            QVERIFY2(opaque > 16 * scale * scale * 16 / 5, qPrintable(QString::number(opaque)));
            QVERIFY2(opaque < 16 * 16 * scale * scale, qPrintable(QString::number(opaque)));
        }
        const QIcon icon = kind == 0 ? ToolBarIcon(index) : OutFolderGlyph(index);
        QCOMPARE(icon.availableSizes().size(), 2);
        QCOMPARE(icon.pixmap(QSize(16, 16), 1.0).size(), QSize(16, 16));
        QCOMPARE(icon.pixmap(QSize(16, 16), 2.0).size(), QSize(32, 32));
    }

    // Each picture stands for a different thing: no two are alike, and the
    // ten folder glyphs differ only in the digit area.
    void allPicturesDiffer() {
        QList<QImage> all;
        for (int i = 0; i < ToolBarImageCount; ++i)
            all << DrawToolBarImage(i);
        for (int k = 0; k <= 9; ++k)
            all << DrawOutFolderGlyph(k);
        for (int a = 0; a < all.size(); ++a)
            for (int b = a + 1; b < all.size(); ++b)
                QVERIFY2(DifferentPixels(all[a], all[b], 0) >= 4,
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

    void outOfRangeIsTransparent() {
        QCOMPARE(OpaquePixels(DrawToolBarImage(10)), 0);
        QCOMPARE(OpaquePixels(DrawToolBarImage(-1)), 0);
        QCOMPARE(OpaquePixels(DrawOutFolderGlyph(10)), 0);
    }

    // The compiled-in icon files exist at every size and match the drawing
    // (regenerate them with --make-icons after changing the drawing).
    void programIconResources() {
        const QIcon icon = ProgramIcon();
        QVERIFY(!icon.isNull());
        for (int size : ProgramIconSizes) {
            const QString path = ProgramIconResource(size);
            QVERIFY2(QFile::exists(path), qPrintable(path));
            QImage shipped(path);
            QCOMPARE(shipped.size(), QSize(size, size));
            QVERIFY(OpaquePixels(shipped) > size * size / 3);
            QVERIFY(OpaquePixels(shipped) < size * size);
            QVERIFY2(DifferentPixels(shipped, DrawProgramIcon(size), 8) <= size * size / 100,
                     "resources/icons are out of date: run test_pictures --make-icons");
            QCOMPARE(ProgramIconPixmap(size).size(), QSize(size, size));
        }
        QVERIFY(icon.availableSizes().contains(QSize(48, 48)));
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--make-icons") == 0)
        return MakeIcons(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && qstrcmp(argv[1], "--sheet") == 0)
        return MakeSheet(QString::fromLocal8Bit(argv[2]));
    TestPictures test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_pictures.moc"
