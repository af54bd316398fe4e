// The pictures the decoder plug-ins return, pixel for pixel: every colour
// type, depth and layout of each format against Qt's own reading of the same
// file (PNG, GIF) or against the picture the file was made from (WebP, TIFF),
// transparency composited over white, rows bottom-up.
#include "test_plugins_support.h"

#include <QtTest>
#include <map>

namespace {

// Source pictures of the rows, by name.
QImage Source(const QString& kind) {
    if (kind == QLatin1String("rgb"))
        return TestPicture(37, 23);
    if (kind == QLatin1String("alpha"))
        return TestPicture(37, 23, true);
    if (kind == QLatin1String("tall"))
        return TestPicture(21, 150);
    QImage img(37, 23,
               kind.endsWith(QLatin1String("alpha")) ? QImage::Format_ARGB32
                                                     : QImage::Format_RGB32);
    static const QRgb four[4] = {qRgb(200, 30, 40), qRgb(20, 160, 60), qRgb(30, 40, 220),
                                 qRgb(250, 240, 10)};
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            QRgb c;
            if (kind.startsWith(QLatin1String("few")))
                c = four[(x / 5 + y / 4) % 4];
            else if (kind == QLatin1String("grey"))
                c = qRgb((x * 7 + y * 3) & 0xff, (x * 7 + y * 3) & 0xff, (x * 7 + y * 3) & 0xff);
            else /* bilevel */
                c = ((x / 3 + y / 2) % 2) ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
            if (kind == QLatin1String("fewalpha") && (x + y) % 7 == 0)
                c &= 0x00ffffffu; // fully transparent
            img.setPixel(x, y, c);
        }
    if (kind == QLatin1String("fewpalette"))
        return img.convertToFormat(QImage::Format_Indexed8);
    if (kind == QLatin1String("fewalpha-palette"))
        return img.convertToFormat(QImage::Format_ARGB32).convertToFormat(QImage::Format_Indexed8);
    if (kind == QLatin1String("grey16")) {
        // Levels that are no multiples of 257, so that 16 to 8 bits must round.
        QImage grey(37, 23, QImage::Format_Grayscale16);
        for (int y = 0; y < grey.height(); ++y) {
            auto* line = reinterpret_cast<quint16*>(grey.scanLine(y));
            for (int x = 0; x < grey.width(); ++x)
                line[x] = quint16(x * 1789 + y * 263 + 77);
        }
        return grey;
    }
    if (kind == QLatin1String("grey8"))
        return Source(QStringLiteral("grey")).convertToFormat(QImage::Format_Grayscale8);
    return img;
}

} // namespace

class TestPluginsPixels : public QObject {
    Q_OBJECT

    std::map<QString, std::unique_ptr<TPluginLib>> Libs;

private slots:
    void initTestCase();
    void pixels_data();
    void pixels();
    void bottomUpRows_data();
    void bottomUpRows();
};

void TestPluginsPixels::initTestCase() {
    for (const QString& format : PluginFormats()) {
        auto l = std::make_unique<TPluginLib>(PluginFile(format));
        QVERIFY2(l->isLoaded(), qPrintable(l->Path + QStringLiteral(": ") + l->Error));
        Libs[format] = std::move(l);
    }
    QVERIFY2(!ConvertProgram().isEmpty(), "ImageMagick's convert is needed to make test pictures");
}

void TestPluginsPixels::pixels_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("source");      // picture the file is made from
    QTest::addColumn<QStringList>("convert"); // ImageMagick options; none for PNG: Qt writes it
    QTest::addColumn<QString>("expected");    // "qt": Qt reads the file; "source"; "flipped"
    QTest::addColumn<int>("maxDiff");         // largest channel difference allowed
    QTest::addColumn<double>("meanDiff");     // mean difference allowed (lossy formats)
    QTest::addColumn<int>("bitCount");
    QTest::addColumn<QByteArray>("pngHeader"); // colour type, bit depth, interlace, or empty

    auto png = [](const char* name, const char* source, QStringList args, int bits,
                  QByteArray header) {
        QTest::newRow(name) << "png" << source << args << "qt" << 1 << 0.0 << bits << header;
    };
    png("png-rgb", "rgb", {}, 24, QByteArray("\x02\x08\x00", 3));
    png("png-rgba", "alpha", {}, 24, QByteArray("\x06\x08\x00", 3));
    png("png-palette", "fewpalette", {}, 8, QByteArray("\x03\x08\x00", 3));
    png("png-palette-transparent", "fewalpha-palette", {}, 8, QByteArray("\x03\x08\x00", 3));
    png("png-palette-2bit", "few", {"-colors", "4", "PNG8:"}, 8, QByteArray());
    png("png-grey", "grey8", {}, 8, QByteArray("\x00\x08\x00", 3));
    png("png-grey-2bit", "grey8", {"-depth", "2"}, 8, QByteArray("\x00\x02\x00", 3));
    png("png-grey-16bit", "grey16", {}, 8, QByteArray("\x00\x10\x00", 3));
    png("png-grey-alpha", "alpha", {"-colorspace", "Gray", "-define", "png:color-type=4"}, 24,
        QByteArray("\x04\x08\x00", 3));
    png("png-rgb-16bit", "rgb", {"PNG48:"}, 24, QByteArray("\x02\x10\x00", 3));
    png("png-rgba-16bit", "alpha", {"PNG64:"}, 24, QByteArray("\x06\x10\x00", 3));
    png("png-interlaced", "rgb", {"-interlace", "PNG"}, 24, QByteArray("\x02\x08\x01", 3));
    png("png-interlaced-alpha", "alpha", {"-interlace", "PNG", "PNG32:"}, 24,
        QByteArray("\x06\x08\x01", 3));
    png("png-interlaced-palette", "few", {"-interlace", "PNG", "PNG8:"}, 8, QByteArray());

    auto gif = [](const char* name, const char* source, QStringList args) {
        QTest::newRow(name) << "gif" << source << args << "qt" << 0 << 0.0 << 8 << QByteArray();
    };
    gif("gif-plain", "few", {});
    gif("gif-interlaced", "few", {"-interlace", "GIF"});
    gif("gif-transparent", "fewalpha", {});
    gif("gif-many-colours", "rgb", {});
    gif("gif-animated-first-frame", "few", {"-delay", "10", "{second}"});
    gif("gif-transparent-frame-inside-screen", "fewalpha", {"-page", "60x40+5+7"});
    // Outside the frame the screen shows white, not the file's background colour.
    QTest::newRow("gif-frame-inside-screen") << "gif"
                                             << "few" << QStringList{"-page", "60x40+5+7"}
                                             << "qt-framed" << 0 << 0.0 << 8 << QByteArray();

    auto row = [](const char* name, const char* format, const char* source, QStringList args,
                  const char* expected, int maxDiff, double meanDiff) {
        QTest::newRow(name) << format << source << args << expected << maxDiff << meanDiff << 24
                            << QByteArray();
    };
    const QStringList lossless{"-define", "webp:lossless=true"};
    row("webp-lossless", "webp", "rgb", lossless, "source", 0, 0.0);
    row("webp-lossless-alpha", "webp", "alpha", lossless, "source", 1, 0.0);
    row("webp-lossy", "webp", "rgb", {"-quality", "90"}, "source", 255, 10.0);
    row("webp-lossy-alpha", "webp", "alpha", {"-quality", "90"}, "source", 255, 10.0);
    row("webp-animated-first-frame", "webp", "rgb",
        lossless + QStringList{"-delay", "10", "{second}"}, "source", 0, 0.0);

    row("tiff-rgb-lzw", "tiff", "rgb", {"-compress", "lzw"}, "source", 0, 0.0);
    row("tiff-rgb-16bit-zip", "tiff", "rgb", {"-depth", "16", "-compress", "zip"}, "source", 1,
        0.0);
    row("tiff-rgba", "tiff", "alpha", {}, "source", 1, 0.0);
    row("tiff-palette", "tiff", "few", {"-type", "palette"}, "source", 0, 0.0);
    row("tiff-grey", "tiff", "grey", {"-type", "grayscale"}, "source", 0, 0.0);
    row("tiff-min-is-white", "tiff", "grey",
        {"-type", "grayscale", "-define", "tiff:photometric=min-is-white"}, "source", 0, 0.0);
    row("tiff-bilevel-g4", "tiff", "bilevel", {"-type", "bilevel", "-compress", "group4"}, "source",
        0, 0.0);
    row("tiff-cmyk", "tiff", "rgb", {"-colorspace", "CMYK"}, "source", 3, 0.0);
    row("tiff-tiled", "tiff", "rgb", {"-define", "tiff:tile-geometry=16x16"}, "source", 0, 0.0);
    row("tiff-strips-of-5", "tiff", "tall", {"-define", "tiff:rows-per-strip=5"}, "source", 0, 0.0);
    row("tiff-bottom-left", "tiff", "rgb", {"-orient", "bottom-left"}, "flipped", 0, 0.0);
    row("tiff-big-endian", "tiff", "rgb", {"-endian", "MSB"}, "source", 0, 0.0);
    row("tiff-jpeg", "tiff", "rgb", {"-compress", "jpeg", "-quality", "95"}, "source", 255, 6.0);
}

void TestPluginsPixels::pixels() {
    QFETCH(QString, format);
    QFETCH(QString, source);
    QFETCH(QStringList, convert);
    QFETCH(QString, expected);
    QFETCH(int, maxDiff);
    QFETCH(double, meanDiff);
    QFETCH(int, bitCount);
    QFETCH(QByteArray, pngHeader);

    TSandbox box;
    const QImage picture = Source(source);
    const QString sourcePath = box.filePath(QStringLiteral("source.png"));
    QVERIFY(picture.save(sourcePath, "PNG"));
    QString path = sourcePath;
    if (!convert.isEmpty() || format != QLatin1String("png")) {
        // A trailing "PNG8:"-style option names the output's kind.
        QString kind;
        if (!convert.isEmpty() && convert.last().endsWith(QLatin1Char(':')))
            kind = convert.takeLast();
        const QString second = box.filePath(QStringLiteral("second.png"));
        QVERIFY(Flatten(picture).mirrored(true, true).save(second, "PNG"));
        convert.replaceInStrings(QStringLiteral("{second}"), second);
        path = box.filePath(QStringLiteral("sample.") + format);
        QVERIFY2(Convert(QStringList{sourcePath} + convert + QStringList{kind + path}),
                 qPrintable(convert.join(QLatin1Char(' '))));
    }
    const QByteArray data = ReadAll(path);
    if (!pngHeader.isEmpty()) // the file is the kind of PNG the row is about
        QCOMPARE(QByteArray(1, data.at(25)) + data.at(24) + data.at(28), pngHeader);

    QImage want;
    if (expected.startsWith(QLatin1String("qt"))) {
        QImage qt(path);
        QVERIFY2(!qt.isNull(), "Qt cannot read the sample");
        want = Flatten(qt);
        if (expected == QLatin1String("qt-framed")) {
            const QRect frame(5, 7, 37, 23);
            for (int y = 0; y < want.height(); ++y)
                for (int x = 0; x < want.width(); ++x)
                    if (!frame.contains(x, y))
                        want.setPixel(x, y, qRgb(255, 255, 255));
        }
    } else {
        want = Flatten(picture);
        if (expected == QLatin1String("flipped"))
            want = want.mirrored(false, true);
    }

    const TDecoded d = DecodeMemory(*Libs.at(format), data);
    QCOMPARE(d.Result, SPI_SUCCESS);
    QCOMPARE(d.BitCount, bitCount);
    QVERIFY(d.HeaderHeight > 0); // bottom-up rows
    if (bitCount == 8)
        QCOMPARE(d.ColorsUsed, 256);
    QCOMPARE(d.Image.size(), want.size());
    const int worst = MaxDifference(d.Image, want);
    QVERIFY2(worst <= maxDiff, qPrintable(QStringLiteral("largest difference %1").arg(worst)));
    if (meanDiff > 0) {
        const double mean = MeanDifference(d.Image, want);
        QVERIFY2(mean <= meanDiff, qPrintable(QStringLiteral("mean difference %1").arg(mean)));
    }
    // The file path gives the same picture.
    QCOMPARE(DecodeFile(*Libs.at(format), path, 0).Image, d.Image);
}

void TestPluginsPixels::bottomUpRows_data() {
    QTest::addColumn<QString>("format");
    for (const QString& f : PluginFormats())
        if (f != QLatin1String("raw")) // a JPEG preview: no exact pixels
            QTest::newRow(qPrintable(f)) << f;
}

void TestPluginsPixels::bottomUpRows() {
    QFETCH(QString, format);
    TSandbox box;
    // Red top row over blue: the red row must be the last in memory.
    QImage picture(9, 6, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 255));
    for (int x = 0; x < picture.width(); ++x)
        picture.setPixel(x, 0, qRgb(255, 0, 0));
    const TDecoded d = DecodeMemory(*Libs.at(format), ReadAll(MakeSample(box, format, picture)));
    QCOMPARE(d.Result, SPI_SUCCESS);
    QCOMPARE(d.Image.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(d.Image.pixel(0, 5), qRgb(0, 0, 255));
    if (d.BitCount == 24) {
        QCOMPARE(d.LastRow.left(3), QByteArray("\x00\x00\xff", 3));
        QCOMPARE(d.FirstRow.left(3), QByteArray("\xff\x00\x00", 3));
        QCOMPARE(d.LastRow.size(), 28); // 27 bytes padded to 4
    } else {
        QVERIFY(d.LastRow.at(0) != d.FirstRow.at(0));
        QCOMPARE(d.LastRow.size(), 12);
    }
}

QTEST_MAIN(TestPluginsPixels)
#include "test_plugins_pixels.moc"
