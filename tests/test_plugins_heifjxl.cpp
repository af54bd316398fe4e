// The HEIF and JPEG XL plug-ins against the pictures their files were made
// from by Debian's encoders: turned, mirrored and cropped as the file says,
// deep samples reduced, grey spread, alpha over white, the first frame of an
// animation; and refusals of files that lie about their size.
#include "support/JpegWriter.h"
#include "test_plugins_support.h"

#include <QtTest>
#include <map>

namespace {

// A picture with a marked corner: red grows to the right, green downwards.
QImage Source(const QString& kind) {
    QImage img = Gradient(QSize(128, 96)).convertToFormat(QImage::Format_ARGB32);
    if (kind == QLatin1String("alpha"))
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                img.setPixel(x, y, (img.pixel(x, y) & 0xffffffu) | uint(255 - 2 * x) << 24);
    if (kind == QLatin1String("grey"))
        return img.convertToFormat(QImage::Format_Grayscale8);
    if (kind == QLatin1String("deep"))
        return img.convertToFormat(QImage::Format_RGBX64);
    return kind == QLatin1String("alpha") ? img : img.convertToFormat(QImage::Format_RGB32);
}

// A JPEG XL codestream that claims a size and stops after its header.
QByteArray JxlClaiming(quint32 w, quint32 h) {
    QList<bool> bits; // least significant bit first
    auto put = [&](quint32 value, int count) {
        for (int i = 0; i < count; ++i)
            bits.append((value >> i) & 1);
    };
    put(0, 1);                 // sizes not multiples of 8
    put(3, 2), put(h - 1, 30); // height: 30 bits
    put(0, 3), put(3, 2);      // no fixed ratio; width: 30 bits
    put(w - 1, 30), put(1, 1); // default metadata
    QByteArray out("\xff\x0a", 2);
    out.append(QByteArray((bits.size() + 7) / 8 + 64, '\0'));
    for (int i = 0; i < bits.size(); ++i)
        out[2 + i / 8] = char(out[2 + i / 8] | bits[i] << (i % 8));
    return out;
}

} // namespace

class TestPluginsHeifJxl : public QObject {
    Q_OBJECT
    std::map<QString, std::unique_ptr<TPluginLib>> Libs;

private slots:
    void initTestCase() {
        for (const QString& format : {QStringLiteral("heif"), QStringLiteral("jxl")}) {
            Libs[format] = std::make_unique<TPluginLib>(PluginFile(format));
            QVERIFY2(Libs[format]->isLoaded(), qPrintable(Libs[format]->Error));
        }
    }
    void pixels_data();
    void pixels();
    void lies_data();
    void lies();
};

void TestPluginsHeifJxl::pixels_data() {
    QTest::addColumn<QString>("plugin");
    QTest::addColumn<QString>("source");    // plain, alpha, grey, deep (16 bits a channel)
    QTest::addColumn<QString>("tool");      // the encoder; "jpeg:N": cjxl of a JPEG turned by N
    QTest::addColumn<QStringList>("args");  // {in} and {out} stand for the files
    QTest::addColumn<QString>("transform"); // what the file asks for: turn, mirror, crop
    QTest::addColumn<double>("meanDiff");   // mean channel difference allowed

    const QStringList heifLossless{"-L", "-p", "chroma=444", "--matrix_coefficients=0"};
    auto heif = [](const char* name, const char* source, const char* tool, QStringList args,
                   const char* transform, double mean) {
        QTest::newRow(name) << "heif" << source << tool << args << transform << mean;
    };
    heif("heic-444", "plain", "heif-enc", heifLossless + QStringList{"-o", "{out}", "{in}"}, "",
         0.6);
    heif("heic-lossy", "plain", "heif-enc", {"-q", "85", "-o", "{out}", "{in}"}, "", 3.0);
    heif("heic-alpha", "alpha", "heif-enc", heifLossless + QStringList{"-o", "{out}", "{in}"}, "",
         0.6);
    heif("heic-monochrome", "grey", "heif-enc", {"-q", "90", "-o", "{out}", "{in}"}, "", 2.0);
    heif("heic-10bit", "deep", "heif-enc", {"-b", "10", "-q", "90", "-o", "{out}", "{in}"}, "",
         2.0);
    const QStringList avif{"-s", "10", "--min", "0", "--max", "0", "-y", "444"};
    heif("avif", "plain", "avifenc", avif + QStringList{"{in}", "{out}"}, "", 1.0);
    heif("avif-12bit", "deep", "avifenc", avif + QStringList{"-d", "12", "{in}", "{out}"}, "", 1.0);
    heif("avif-alpha", "alpha", "avifenc", avif + QStringList{"{in}", "{out}"}, "", 1.0);
    heif("avif-turned", "plain", "avifenc", avif + QStringList{"--irot", "1", "{in}", "{out}"},
         "turn270", 1.0);
    heif("avif-mirrored", "plain", "avifenc", avif + QStringList{"--imir", "1", "{in}", "{out}"},
         "mirror", 1.0);
    heif("avif-cropped", "plain", "avifenc",
         avif + QStringList{"--crop", "16,8,64,48", "{in}", "{out}"}, "crop", 1.0);
    heif("avif-grid", "plain", "avifenc", avif + QStringList{"-g", "2x1", "{in}", "{out}"}, "",
         1.0);

    auto jxl = [](const char* name, const char* source, const char* tool, QStringList args,
                  const char* transform, double mean) {
        QTest::newRow(name) << "jxl" << source << tool << args << transform << mean;
    };
    jxl("jxl-lossless", "plain", "cjxl", {"{in}", "{out}", "-d", "0"}, "", 0.0);
    jxl("jxl-lossy", "plain", "cjxl", {"{in}", "{out}", "-d", "1"}, "", 3.0);
    jxl("jxl-alpha", "alpha", "cjxl", {"{in}", "{out}", "-d", "0"}, "", 0.6);
    jxl("jxl-grey", "grey", "cjxl", {"{in}", "{out}", "-d", "0"}, "", 0.0);
    jxl("jxl-16bit", "deep", "cjxl", {"{in}", "{out}", "-d", "0"}, "", 0.6);
    jxl("jxl-animated", "plain", "cjxl", {"{anim}", "{out}", "-d", "0"}, "", 3.0);
    jxl("jxl-from-jpeg-turned", "plain", "jpeg:6", {"{in}", "{out}"}, "turn90", 3.0);
}

void TestPluginsHeifJxl::pixels() {
    QFETCH(QString, plugin);
    QFETCH(QString, source);
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    QFETCH(QString, transform);
    QFETCH(double, meanDiff);

    TSandbox box;
    const QImage picture = Source(source);
    QString in = box.filePath(QStringLiteral("in.png"));
    QVERIFY(picture.save(in, "PNG"));
    if (tool.startsWith(QLatin1String("jpeg:"))) {
        TJpegKind kind;
        kind.Quality = 98, kind.Sampling = 1, kind.Orientation = tool.mid(5).toInt();
        in = box.writeFile(QStringLiteral("in.jpg"),
                           WriteJpeg(picture.size(), kind, [&](int y, unsigned char* row) {
                               for (int x = 0; x < picture.width(); ++x) {
                                   const QRgb c = picture.pixel(x, y);
                                   row[3 * x] = uchar(qRed(c)), row[3 * x + 1] = uchar(qGreen(c));
                                   row[3 * x + 2] = uchar(qBlue(c));
                               }
                           }));
        tool = QStringLiteral("cjxl");
    }
    const QString anim = box.filePath(QStringLiteral("anim.gif"));
    if (args.contains(QStringLiteral("{anim}")))
        QVERIFY(Convert({"-delay", "10", in, "(", in, "-rotate", "180", ")", anim}));
    const QString out = box.filePath(QStringLiteral("out.") + (tool == "cjxl" ? "jxl" : "heic"));
    args.replaceInStrings(QStringLiteral("{in}"), in);
    args.replaceInStrings(QStringLiteral("{out}"), out);
    args.replaceInStrings(QStringLiteral("{anim}"), anim);
    QVERIFY2(RunTool(tool, args), qPrintable(tool + " " + args.join(' ')));

    QImage want = Flatten(picture);
    if (args.contains(anim)) // the first frame, as the GIF holds it
        want = Flatten(QImage(anim));
    if (transform == QLatin1String("turn90"))
        want = want.transformed(QTransform().rotate(90));
    else if (transform == QLatin1String("turn270"))
        want = want.transformed(QTransform().rotate(270));
    else if (transform == QLatin1String("mirror"))
        want = want.mirrored(true, false);
    else if (transform == QLatin1String("crop"))
        want = want.copy(16, 8, 64, 48);

    const TDecoded d = DecodeMemory(*Libs.at(plugin), ReadAll(out));
    QCOMPARE(d.Result, SPI_SUCCESS);
    QCOMPARE(d.Image.size(), want.size());
    const double mean = MeanDifference(d.Image, want);
    QVERIFY2(mean <= meanDiff, qPrintable(QStringLiteral("mean difference %1").arg(mean)));
    QCOMPARE(DecodeFile(*Libs.at(plugin), out, 0).Image, d.Image);
}

void TestPluginsHeifJxl::lies_data() {
    QTest::addColumn<QString>("plugin");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("expected");
    TSandbox box;
    const QByteArray heic = ReadAll(MakeSample(box, "heif", Source("plain")));
    auto claiming = [&](quint32 w, quint32 h) {
        QByteArray lie = heic;
        const int ispe = lie.indexOf("ispe");
        qToBigEndian(w, lie.data() + ispe + 8);
        qToBigEndian(h, lie.data() + ispe + 12);
        return lie;
    };
    QTest::newRow("heif-huge") << "heif" << claiming(65535, 65535) << SPI_NO_MEMORY;
    QTest::newRow("heif-zero-size") << "heif" << claiming(0, 0) << SPI_OUT_OF_ORDER;
    QTest::newRow("jxl-huge") << "jxl" << JxlClaiming(65535, 65535) << SPI_NO_MEMORY;
    QTest::newRow("jxl-too-wide") << "jxl" << JxlClaiming(70000, 100) << SPI_NO_MEMORY;
}

void TestPluginsHeifJxl::lies() {
    QFETCH(QString, plugin);
    QFETCH(QByteArray, data);
    QFETCH(int, expected);
    const TDecoded d = DecodeMemory(*Libs.at(plugin), data);
    QCOMPARE(d.Result, expected);
    QVERIFY(d.HandlesNull);
}

QTEST_MAIN(TestPluginsHeifJxl)
#include "test_plugins_heifjxl.moc"
