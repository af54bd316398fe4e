// The camera RAW and video clip plug-ins: which picture of the file they show,
// turned how, against the picture the file was made from (RAW) or FFmpeg's
// own tool's reading of the same moment (clips); and what they refuse. The
// checks every plug-in shares are in test_plugins.cpp.
#include "platform/Exceptions.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"
#include "test_plugins_support.h"
#include "toolkit/Picture.h"

#include <QDir>
#include <QTransform>
#include <QtTest>

namespace {

// A smooth picture with a dark corner at the top left, so a turned or
// mirrored result does not match.
QImage Scene(int w, int h, int hue) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(
                x, y, QColor::fromHsv((hue + x) % 360, 60 + y * 150 / h, 40 + x * 200 / w).rgb());
    return img;
}

// Rewrites every TIFF directory entry of a tag (little-endian, one value)
// to a long holding value.
QByteArray PatchTiffTag(QByteArray dng, quint16 tag, quint32 old, quint32 value) {
    for (const char type : {'\3', '\4'}) {
        QByteArray entry = QByteArray(reinterpret_cast<const char*>(&tag), 2) + type +
                           QByteArray("\0\1\0\0\0", 5) + QByteArray(4, '\0');
        qToLittleEndian(old, entry.data() + 8);
        QByteArray patched = entry;
        patched[2] = '\4';
        qToLittleEndian(value, patched.data() + 8);
        dng.replace(entry, patched);
    }
    return dng;
}

int ThreadCount() {
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

} // namespace

class TestPluginsRawVideo : public QObject {
    Q_OBJECT
    std::unique_ptr<TPluginLib> Raw, Video;

private slots:
    void initTestCase();
    void raw_data();
    void raw();
    void video_data();
    void video();
    void abandonedClipStopsItsThreads();
    void statusSizeIsTheSensors();
};

void TestPluginsRawVideo::initTestCase() {
    Raw = std::make_unique<TPluginLib>(PluginFile(QStringLiteral("raw")));
    Video = std::make_unique<TPluginLib>(PluginFile(QStringLiteral("video")));
    QVERIFY2(Raw->isLoaded() && Video->isLoaded(), qPrintable(Raw->Error + Video->Error));
    // Every extension is on the first line (the file list's) and is a
    // pattern of its own, so each is claimed.
    QStringList patterns, first;
    char buf[256];
    for (const TPluginLib* l : {Raw.get(), Video.get()}) {
        for (int n = 2; l->getPluginInfo(n, buf, 255) > 0; n += 2)
            patterns << QString::fromUtf8(buf);
        l->getPluginInfo(2, buf, 255);
        first << QString::fromUtf8(buf).split(QLatin1Char(';'));
    }
    for (const char* ext :
         {"cr2", "cr3", "crw", "nef", "nrw", "arw", "srf", "sr2",  "raf", "orf", "rw2",
          "pef", "dng", "srw", "x3f", "3fr", "iiq", "erf", "kdc",  "dcr", "mef", "mos",
          "mrw", "rwl", "mov", "mp4", "m4v", "3gp", "mkv", "webm", "avi", "mts"})
        QVERIFY2(patterns.contains(QStringLiteral("*.") + ext) &&
                     first.contains(QStringLiteral("*.") + ext),
                 ext);
}

void TestPluginsRawVideo::raw_data() {
    QTest::addColumn<QStringList>("options"); // of velmo_make_dng
    QTest::addColumn<int>("orientation");     // how the expected picture is turned
    QTest::addColumn<bool>("half");           // demosaiced at half size, not the preview
    QTest::addColumn<QString>("patch");       // "huge", "zero" or none
    QTest::addColumn<int>("result");
    QTest::newRow("preview") << QStringList{} << 1 << false << "" << SPI_SUCCESS;
    QTest::newRow("preview-turned-right")
        << QStringList{"--orientation", "6"} << 6 << false << "" << SPI_SUCCESS;
    QTest::newRow("preview-turned-left")
        << QStringList{"--orientation", "8"} << 8 << false << "" << SPI_SUCCESS;
    QTest::newRow("preview-upside-down")
        << QStringList{"--orientation", "3"} << 3 << false << "" << SPI_SUCCESS;
    QTest::newRow("preview-mirrored")
        << QStringList{"--orientation", "2"} << 2 << false << "" << SPI_SUCCESS;
    // The thumbnail alone is too small: the raw data is demosaiced.
    QTest::newRow("demosaic") << QStringList{"--no-preview"} << 1 << true << "" << SPI_SUCCESS;
    QTest::newRow("demosaic-turned-right")
        << QStringList{"--no-preview", "--orientation", "6"} << 6 << true << "" << SPI_SUCCESS;
    // A maker's raw header that LibRaw knows of no camera for.
    QTest::newRow("unknown-camera") << QStringList{} << 1 << false << "unknown" << SPI_OUT_OF_ORDER;
    QTest::newRow("huge") << QStringList{} << 1 << false << "huge" << SPI_OUT_OF_ORDER;
    QTest::newRow("zero-size") << QStringList{"--no-preview"} << 1 << false << "zero"
                               << SPI_OUT_OF_ORDER;
}

void TestPluginsRawVideo::raw() {
    QFETCH(QStringList, options);
    QFETCH(int, orientation);
    QFETCH(bool, half);
    QFETCH(QString, patch);
    QFETCH(int, result);
    TSandbox box;
    const QImage source = Scene(96, 64, 20);
    const QString path =
        MakeSample(box, QStringLiteral("raw"), source, QStringLiteral("s"), options);
    QVERIFY(!path.isEmpty());
    QByteArray data = ReadAll(path);
    if (patch == QLatin1String("unknown")) {
        data = QByteArray("FUJIFILMCCD-RAW 0201FF129502VELMO X1") + QByteArray(4000, '\0');
    } else if (!patch.isEmpty()) {
        const quint32 w = patch == QLatin1String("huge") ? 65535 : 0;
        data = PatchTiffTag(PatchTiffTag(data, 256, 96, w), 257, 64, w);
    }
    const TDecoded d = DecodeMemory(*Raw, data);
    QCOMPARE(d.Result, result);
    QCOMPARE(d.HandlesNull, result != SPI_SUCCESS);
    if (result != SPI_SUCCESS)
        return;

    static const QTransform turns[9] = {{},
                                        {},
                                        QTransform(-1, 0, 0, 1, 0, 0),
                                        QTransform().rotate(180),
                                        {},
                                        {},
                                        QTransform().rotate(90),
                                        {},
                                        QTransform().rotate(270)};
    QImage want = source.transformed(turns[orientation]);
    if (half)
        want = want.scaled(want.size() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QCOMPARE(d.Image.size(), want.size());
    const double mean = MeanDifference(d.Image, want);
    QVERIFY2(mean <= (half ? 12.0 : 3.0), qPrintable(QString::number(mean)));
    // The picture information gives the sensor's size, upright.
    SpiPictureInfo info{};
    QCOMPARE(Raw->getPictureInfo(data.constData(), data.size(), SPI_INPUT_MEMORY, &info), 0);
    QCOMPARE(QSize(info.width, info.height), source.transformed(turns[orientation]).size());
}

void TestPluginsRawVideo::video_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("args"); // ffmpeg's, after the two pictures
    QTest::addColumn<double>("seconds");   // each picture's time on screen
    QTest::addColumn<bool>("second");      // the second picture is shown, not the first
    QTest::addColumn<int>("result");
    const QStringList lossless{"-c:v", "libx264rgb", "-qp", "0", "-pix_fmt", "bgr24"};
    QTest::newRow("mp4-one-second-in") << "c.mp4" << lossless << 1.0 << true << SPI_SUCCESS;
    QTest::newRow("mov-rotation-tag")
        << "c.mov" << lossless + QStringList{"-metadata:s:v:0", "rotate=90"} << 1.0 << true
        << SPI_SUCCESS;
    QTest::newRow("mkv-shorter-than-a-second")
        << "c.mkv" << QStringList{"-c:v", "ffv1", "-pix_fmt", "bgr0"} << 0.2 << false
        << SPI_SUCCESS;
    QTest::newRow("webm-vp9") << "c.webm" << QStringList{"-c:v", "libvpx-vp9"} << 1.0 << true
                              << SPI_SUCCESS;
    QTest::newRow("avi-mpeg4") << "c.avi" << QStringList{"-c:v", "mpeg4", "-q:v", "2"} << 1.0
                               << true << SPI_SUCCESS;
    QTest::newRow("mts-mpeg2") << "c.mts" << QStringList{"-c:v", "mpeg2video", "-q:v", "2"} << 1.0
                               << true << SPI_SUCCESS;
    QTest::newRow("sound-alone") << "c.m4a" << QStringList{} << 1.0 << false << SPI_OUT_OF_ORDER;
    QTest::newRow("huge") << "huge.mkv" << QStringList{"-c:v", "ffv1"} << 1.0 << false
                          << SPI_OUT_OF_ORDER;
    QTest::newRow("zero-size") << "zero.mkv" << QStringList{"-c:v", "ffv1"} << 1.0 << false
                               << SPI_OUT_OF_ORDER;
}

void TestPluginsRawVideo::video() {
    QFETCH(QString, name);
    QFETCH(QStringList, args);
    QFETCH(double, seconds);
    QFETCH(bool, second);
    QFETCH(int, result);
    TSandbox box;
    // Two pictures one after the other, seconds each; 320x320 for the rows
    // that change the size in the file.
    const bool patched = !name.startsWith(QLatin1String("c."));
    const QSize size(320, patched ? 320 : 240);
    const QString a = box.filePath(QStringLiteral("a.png")),
                  b = box.filePath(QStringLiteral("b.png"));
    QVERIFY(Scene(size.width(), size.height(), 20).save(a) &&
            Scene(size.width(), size.height(), 200).save(b));
    const QString t = QString::number(seconds);
    const QString path = box.filePath(name);
    const QStringList inputs = name.endsWith(QLatin1String(".m4a"))
                                   ? QStringList{"-f", "lavfi", "-t", "2", "-i", "sine"}
                                   : QStringList{"-loop",
                                                 "1",
                                                 "-t",
                                                 t,
                                                 "-i",
                                                 a,
                                                 "-loop",
                                                 "1",
                                                 "-t",
                                                 t,
                                                 "-i",
                                                 b,
                                                 "-filter_complex",
                                                 "[0:v][1:v]concat=n=2,fps=25[v]",
                                                 "-map",
                                                 "[v]"};
    QVERIFY(RunTool(QStringLiteral("ffmpeg"),
                    QStringList{"-v", "error"} + inputs + args + QStringList{path}));
    QByteArray data = ReadAll(path);
    if (patched) { // the Matroska pixel width and height, 320 each
        const QByteArray claim =
            name.startsWith(QLatin1String("huge")) ? "\xff\xff" : QByteArray(2, '\0');
        for (const char* id : {"\xb0", "\xba"})
            data.replace(QByteArray(id) + QByteArray("\x82\x01\x40", 3),
                         QByteArray(id) + '\x82' + claim);
    }
    const TDecoded d = DecodeMemory(*Video, data);
    QCOMPARE(d.Result, result);
    QCOMPARE(d.HandlesNull, result != SPI_SUCCESS);
    if (result != SPI_SUCCESS)
        return;
    // FFmpeg's own tool at the same moment, turned as it turns clips.
    const QString want = box.filePath(QStringLiteral("want.png"));
    QVERIFY(
        RunTool(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-ss", seconds < 1 ? "0" : "1",
                                                      "-i", path, "-frames:v", "1", want}));
    const QImage expected(want);
    QCOMPARE(d.Image.size(), expected.size());
    QVERIFY2(MeanDifference(d.Image, expected.convertToFormat(QImage::Format_RGB32)) <= 1.5,
             qPrintable(QString::number(MeanDifference(d.Image, expected))));
    // Which picture it is: nearer the one that was on screen then.
    if (d.Image.width() > d.Image.height()) {
        const QImage shown = Scene(320, 240, second ? 200 : 20),
                     other = Scene(320, 240, second ? 20 : 200);
        QVERIFY(MeanDifference(d.Image, shown) < MeanDifference(d.Image, other));
    }
}

void TestPluginsRawVideo::abandonedClipStopsItsThreads() {
    TSandbox box;
    const QString path = box.filePath(QStringLiteral("big.mp4"));
    QVERIFY(
        RunTool(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-f", "lavfi", "-i",
                                                      "testsrc2=size=1280x720:rate=30:duration=3",
                                                      "-c:v", "libx264", "-g", "90", path}));
    const QByteArray data = ReadAll(path);
    QCOMPARE(DecodeMemory(*Video, data).Result, SPI_SUCCESS); // whatever stays from the first use
    const int before = ThreadCount();
    for (int stopAt : {1, 3, 12}) {
        TProgressLog log;
        log.StopAt = stopAt;
        QCOMPARE(DecodeMemory(*Video, data, &log).Result, SPI_ABORT);
        QCOMPARE(log.Reports.size(), stopAt);
        QCOMPARE(ThreadCount(), before);
    }
}

void TestPluginsRawVideo::statusSizeIsTheSensors() {
    // Shown demosaiced at half size, told at the sensor's size, upright.
    TSandbox box;
    const QString dng = MakeSample(box, QStringLiteral("raw"), Scene(96, 64, 20), "s",
                                   {"--no-preview", "--orientation", "6"});
    RegisterSPIBitmap();
    RegisterBuiltInGraphics();
    TSPIs spis;
    spis.SearchPlugins(BuildDir() + QStringLiteral("/raw.spi"));
    TPicture picture;
    try {
        picture.LoadFromFile(dng);
    } catch (const Exception& e) {
        QFAIL(qPrintable(e.Message));
    }
    QCOMPARE(QSize(picture.Width(), picture.Height()), QSize(32, 48));
    QCOMPARE(picture.Graphic()->SourceSize(), QSize(64, 96));
}

QTEST_MAIN(TestPluginsRawVideo)
#include "test_plugins_rawvideo.moc"
