// The decoder plug-ins as the host meets them: information texts, the header
// test, file input from an offset and memory input, progress and stopping,
// and every kind of bad input answered with the right code, never a crash.
#include "test_plugins_support.h"

#include <QtTest>
#include <atomic>
#include <map>
#include <sys/stat.h>
#include <thread>

namespace {

quint32 Crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFFu;
    for (const char ch : bytes) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray Be32(quint32 v) {
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray Le16(quint16 v) {
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray Le32(quint32 v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray PngChunk(const char* type, const QByteArray& body) {
    const QByteArray typed = QByteArray(type) + body;
    return Be32(quint32(body.size())) + typed + Be32(Crc32(typed));
}

// A PNG whose header claims the given size, followed by a little image data.
QByteArray PngClaiming(quint32 w, quint32 h) {
    const QByteArray ihdr = Be32(w) + Be32(h) + QByteArray("\x08\x02\x00\x00\x00", 5);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr) +
           PngChunk("IDAT", QByteArray("\x78\x9c\x63\x00\x00\x00\x01\x00\x01", 9)) +
           PngChunk("IEND", {});
}

// A GIF whose screen and first frame claim the given size.
QByteArray GifClaiming(quint16 w, quint16 h) {
    return QByteArray("GIF89a") + Le16(w) + Le16(h) + QByteArray("\x80\x00\x00", 3) +
           QByteArray("\x00\x00\x00\xff\xff\xff", 6) + QByteArray(",") + Le16(0) + Le16(0) +
           Le16(w) + Le16(h) + QByteArray("\x00\x02\x02\x44\x01\x00;", 8);
}

// A one-strip 8-bit grey TIFF with the given size and pixel bytes.
QByteArray TiffClaiming(quint32 w, quint32 h, int pixelBytes) {
    struct Entry {
        quint16 tag, type;
        quint32 value;
    };
    const quint32 dataOffset = 8 + 2 + 9 * 12 + 4;
    const Entry entries[] = {{256, 4, w}, {257, 4, h}, {258, 3, 8},
                             {259, 3, 1}, {262, 3, 1}, {273, 4, dataOffset},
                             {277, 3, 1}, {278, 4, h}, {279, 4, w * h}};
    QByteArray t = QByteArray("II*\0", 4) + Le32(8) + Le16(9);
    for (const Entry& e : entries)
        t += Le16(e.tag) + Le16(e.type) + Le32(1) +
             (e.type == 3 ? Le16(quint16(e.value)) + Le16(0) : Le32(e.value));
    t += Le32(0);
    return t + QByteArray(pixelBytes, '\x80');
}

// Offset of the LZW code size byte of a GIF's first frame, or -1.
int GifCodeSizeOffset(const QByteArray& gif) {
    int pos = 13;
    if (quint8(gif[10]) & 0x80)
        pos += 3 << ((quint8(gif[10]) & 7) + 1);
    while (pos < gif.size()) {
        if (gif[pos] == '!') {
            pos += 2;
            while (pos < gif.size() && gif[pos] != 0)
                pos += quint8(gif[pos]) + 1;
            ++pos;
        } else if (gif[pos] == ',') {
            const quint8 flags = quint8(gif[pos + 9]);
            pos += 10;
            if (flags & 0x80)
                pos += 3 << ((flags & 7) + 1);
            return pos;
        } else {
            return -1;
        }
    }
    return -1;
}

} // namespace

class TestPlugins : public QObject {
    Q_OBJECT

    std::map<QString, std::unique_ptr<TPluginLib>> Libs;
    const TPluginLib& lib(const QString& format) { return *Libs.at(format); }

private slots:
    void initTestCase();
    void pluginInfo_data();
    void pluginInfo();
    void pluginInfoTruncates();
    void isSupported_data();
    void isSupported();
    void fileInputAfterJunk_data();
    void fileInputAfterJunk();
    void pictureInfo_data();
    void pictureInfo();
    void progress_data();
    void progress();
    void abort_data();
    void abort();
    void truncated_data();
    void truncated();
    void broken_data();
    void broken();
    void unknownAndUnreadable_data();
    void unknownAndUnreadable();
    void concurrentDecodes();
};

void TestPlugins::initTestCase() {
    for (const QString& format : PluginFormats()) {
        auto l = std::make_unique<TPluginLib>(PluginFile(format));
        QVERIFY2(l->isLoaded(), qPrintable(l->Path + QStringLiteral(": ") + l->Error));
        Libs[format] = std::move(l);
    }
    QVERIFY2(!ConvertProgram().isEmpty(), "ImageMagick's convert is needed to make test pictures");
}

void TestPlugins::pluginInfo_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("description");
    QTest::newRow("png") << "png"
                         << "libpng"
                         << "*.png"
                         << "PNG 画像";
    QTest::newRow("gif") << "gif"
                         << "giflib"
                         << "*.gif"
                         << "GIF 画像";
    QTest::newRow("webp") << "webp"
                          << "libwebp"
                          << "*.webp"
                          << "WebP 画像";
    QTest::newRow("tiff") << "tiff"
                          << "libtiff"
                          << "*.tif;*.tiff"
                          << "TIFF 画像";
}

void TestPlugins::pluginInfo() {
    QFETCH(QString, format);
    QFETCH(QString, library);
    QFETCH(QString, pattern);
    QFETCH(QString, description);
    const TPluginLib& l = lib(format);
    char buf[256];
    auto text = [&](int n) {
        memset(buf, 'x', sizeof buf);
        const int rc = l.getPluginInfo(n, buf, 255);
        return rc > 0 ? QString::fromUtf8(buf) : QString();
    };
    QCOMPARE(text(0), QStringLiteral("00IN"));
    const QString name = text(1);
    QVERIFY2(name.startsWith(QStringLiteral("Velmo ")) && name.contains(library), qPrintable(name));
    QCOMPARE(text(2), pattern);
    QCOMPARE(text(3), description);
    // Past the last pair there is nothing, and the buffer is left alone.
    memset(buf, 'x', sizeof buf);
    QCOMPARE(l.getPluginInfo(4, buf, 255), 0);
    QCOMPARE(l.getPluginInfo(-1, buf, 255), 0);
    QCOMPARE(buf[0], 'x');
    QCOMPARE(l.getPreview("x", 0, 0, nullptr, nullptr, nullptr, 0), SPI_NO_FUNCTION);
    QCOMPARE(l.configurationDlg(nullptr, 0), SPI_NO_FUNCTION);
}

void TestPlugins::pluginInfoTruncates() {
    const TPluginLib& l = lib(QStringLiteral("png"));
    char buf[16];
    memset(buf, 'x', sizeof buf);
    QCOMPARE(l.getPluginInfo(1, buf, 6), 5);
    QCOMPARE(QByteArray(buf), QByteArray("Velmo"));
    QCOMPARE(buf[6], 'x'); // nothing written past the given length
    // "PNG 画像": a character is never cut in two.
    for (int len = 1; len <= 12; ++len) {
        memset(buf, 'x', sizeof buf);
        l.getPluginInfo(3, buf, len);
        const QByteArray got(buf);
        QVERIFY(got.size() < len);
        QCOMPARE(buf[len], 'x');
        QVERIFY2(QByteArray("PNG 画像").startsWith(got), got.constData());
        QCOMPARE(QString::fromUtf8(got).toUtf8(), got); // valid UTF-8
    }
    memset(buf, 'x', sizeof buf);
    QCOMPARE(l.getPluginInfo(0, buf, 0), 0);
    QCOMPARE(buf[0], 'x');
}

void TestPlugins::isSupported_data() {
    QTest::addColumn<QString>("format");
    for (const QString& f : PluginFormats())
        QTest::newRow(qPrintable(f)) << f;
}

void TestPlugins::isSupported() {
    QFETCH(QString, format);
    TSandbox box;
    const QImage picture = TestPicture(20, 10);
    std::map<QString, QByteArray> headers;
    for (const QString& f : PluginFormats()) {
        headers[f] = ReadAll(MakeSample(box, f, picture, f));
        QVERIFY(!headers[f].isEmpty());
    }
    headers[QStringLiteral("jpeg")] = ReadAll(MakePicture(box.filePath("x.jpg"), 20, 10));
    headers[QStringLiteral("bmp")] = ReadAll(MakePicture(box.filePath("x.bmp"), 20, 10));
    headers[QStringLiteral("zeros")] = QByteArray(2048, '\0');
    headers[QStringLiteral("riff-wave")] = QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16);
    headers[QStringLiteral("text")] = QByteArray("GIF is a format, PNG too\n");

    const TPluginLib& l = lib(format);
    for (const auto& [kind, data] : headers) {
        // Decided by the data alone: a misleading name changes nothing.
        const bool expected = kind == format;
        QCOMPARE(SupportsHeader(l, data, "picture.png"), expected);
        QCOMPARE(SupportsHeader(l, data, "picture.gif"), expected);
        QCOMPARE(SupportsHeader(l, data, ""), expected);
    }
    QCOMPARE(l.isSupported("picture", nullptr), 0);
}

void TestPlugins::fileInputAfterJunk_data() {
    isSupported_data();
}

void TestPlugins::fileInputAfterJunk() {
    QFETCH(QString, format);
    TSandbox box;
    const TPluginLib& l = lib(format);
    const QByteArray data = ReadAll(MakeSample(box, format, TestPicture(33, 21)));
    QVERIFY(!data.isEmpty());
    const TDecoded fromMemory = DecodeMemory(l, data);
    QCOMPARE(fromMemory.Result, SPI_SUCCESS);
    QCOMPARE(fromMemory.Image.size(), QSize(33, 21));

    // A 128-byte header in front, as a file carried over from a Macintosh.
    QByteArray junk(128, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char(i * 37 + 11);
    const QString path = box.writeFile(QStringLiteral("wrapped.bin"), junk + data);
    QVERIFY(!SupportsHeader(l, junk + data));
    QVERIFY(SupportsHeader(l, (junk + data).mid(128)));
    const TDecoded fromFile = DecodeFile(l, path, 128);
    QCOMPARE(fromFile.Result, SPI_SUCCESS);
    QCOMPARE(fromFile.Image, fromMemory.Image);
    // At offset 0 the data is not this format.
    const TDecoded wrongOffset = DecodeFile(l, path, 0);
    QCOMPARE(wrongOffset.Result, SPI_NOT_SUPPORT);
    QVERIFY(wrongOffset.HandlesNull);
    // A plain file at offset 0 decodes the same.
    const QString plain = box.writeFile(QStringLiteral("plain.bin"), data);
    QCOMPARE(DecodeFile(l, plain, 0).Image, fromMemory.Image);
    // An offset past the end leaves no data.
    QCOMPARE(DecodeFile(l, plain, data.size() + 10).Result, SPI_NOT_SUPPORT);
}

void TestPlugins::pictureInfo_data() {
    isSupported_data();
}

void TestPlugins::pictureInfo() {
    QFETCH(QString, format);
    TSandbox box;
    const TPluginLib& l = lib(format);
    const QString path = MakeSample(box, format, TestPicture(45, 17));
    const QByteArray data = ReadAll(path);
    const QString wrapped = box.writeFile(QStringLiteral("w.bin"), QByteArray(128, 'j') + data);

    SpiPictureInfo info;
    memset(&info, 0xA5, sizeof info);
    QCOMPARE(l.getPictureInfo(data.constData(), data.size(), SPI_INPUT_MEMORY, &info), 0);
    QCOMPARE(info.left, 0);
    QCOMPARE(info.top, 0);
    QCOMPARE(info.width, 45);
    QCOMPARE(info.height, 17);
    QCOMPARE(int(info.colorDepth), format == QLatin1String("gif") ? 8 : 24);
    QVERIFY(info.hInfo == nullptr);

    memset(&info, 0xA5, sizeof info);
    const QByteArray name = QFile::encodeName(wrapped);
    QCOMPARE(l.getPictureInfo(name.constData(), 128, SPI_INPUT_FILE, &info), 0);
    QCOMPARE(info.width, 45);
    QCOMPARE(info.height, 17);

    // On failure the record is still written: the host frees a non-null text handle.
    memset(&info, 0xA5, sizeof info);
    QCOMPARE(l.getPictureInfo(name.constData(), 0, SPI_INPUT_FILE, &info), SPI_NOT_SUPPORT);
    QVERIFY(info.hInfo == nullptr);
    memset(&info, 0xA5, sizeof info);
    QVERIFY(l.getPictureInfo(data.constData(), 4, SPI_INPUT_MEMORY, &info) != 0);
    QVERIFY(info.hInfo == nullptr);
}

void TestPlugins::progress_data() {
    isSupported_data();
}

void TestPlugins::progress() {
    QFETCH(QString, format);
    TSandbox box;
    // Strips of 16 rows: libtiff reads whole strips, so one strip gives one report.
    const QStringList strips{QStringLiteral("-define"), QStringLiteral("tiff:rows-per-strip=16")};
    const QByteArray data =
        ReadAll(MakeSample(box, format, TestPicture(40, 300), QStringLiteral("tall"),
                           format == QLatin1String("tiff") ? strips : QStringList()));
    TProgressLog log;
    const TDecoded d = DecodeMemory(lib(format), data, &log);
    QCOMPARE(d.Result, SPI_SUCCESS);
    QVERIFY2(log.Reports.size() >= 3, qPrintable(QString::number(log.Reports.size())));
    const int total = log.Reports.first().second;
    QVERIFY(total > 0);
    QCOMPARE(log.Reports.first().first, 0);
    QCOMPARE(log.Reports.last().first, total);
    for (int i = 1; i < log.Reports.size(); ++i) {
        QCOMPARE(log.Reports[i].second, total);
        QVERIFY(log.Reports[i].first >= log.Reports[i - 1].first);
    }
}

void TestPlugins::abort_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("stopAt");
    for (const QString& f : PluginFormats()) {
        QTest::newRow(qPrintable(f + "-at-start")) << f << 1;
        QTest::newRow(qPrintable(f + "-midway")) << f << 2;
    }
}

void TestPlugins::abort() {
    QFETCH(QString, format);
    QFETCH(int, stopAt);
    TSandbox box;
    const QByteArray data = ReadAll(MakeSample(box, format, TestPicture(40, 300)));
    TProgressLog log;
    log.StopAt = stopAt;
    const TDecoded d = DecodeMemory(lib(format), data, &log);
    QCOMPARE(d.Result, SPI_ABORT);
    QVERIFY(d.HandlesNull);
    QCOMPARE(log.Reports.size(), stopAt); // not called again once asked to stop
}

void TestPlugins::truncated_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<double>("keep");
    for (const QString& f : PluginFormats()) {
        QTest::newRow(qPrintable(f + "-header-only")) << f << 0.0;
        QTest::newRow(qPrintable(f + "-half")) << f << 0.5;
        QTest::newRow(qPrintable(f + "-three-quarters")) << f << 0.75;
    }
}

void TestPlugins::truncated() {
    QFETCH(QString, format);
    QFETCH(double, keep);
    TSandbox box;
    const QByteArray data = ReadAll(MakeSample(box, format, TestPicture(64, 64)));
    const QByteArray cut = data.left(keep == 0.0 ? 16 : int(data.size() * keep));
    QVERIFY(SupportsHeader(lib(format), cut));
    const TDecoded d = DecodeMemory(lib(format), cut);
    QCOMPARE(d.Result, SPI_OUT_OF_ORDER);
    QVERIFY(d.HandlesNull);
    const QString path = box.writeFile(QStringLiteral("cut.bin"), cut);
    QCOMPARE(DecodeFile(lib(format), path, 0).Result, SPI_OUT_OF_ORDER);
}

void TestPlugins::broken_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("expected");
    TSandbox box;
    const QImage picture = TestPicture(40, 30);

    QByteArray png = ReadAll(MakeSample(box, "png", picture));
    const int idat = png.indexOf("IDAT");
    png[idat + 20] = char(png[idat + 20] ^ 0x55); // fails its checksum
    QTest::newRow("png-bad-crc") << "png" << png << SPI_OUT_OF_ORDER;
    QTest::newRow("png-huge") << "png" << PngClaiming(60000, 60000) << SPI_NO_MEMORY;
    QTest::newRow("png-zero-width") << "png" << PngClaiming(0, 10) << SPI_OUT_OF_ORDER;

    QByteArray gif = ReadAll(MakeSample(box, "gif", picture));
    const int codeSize = GifCodeSizeOffset(gif);
    QVERIFY(codeSize > 0);
    QByteArray badCodeSize = gif;
    badCodeSize[codeSize] = 12; // no LZW code size beyond 8 bits
    QTest::newRow("gif-bad-code-size") << "gif" << badCodeSize << SPI_OUT_OF_ORDER;
    QByteArray badLzw = gif;
    for (int i = codeSize + 2; i < codeSize + 40 && i < badLzw.size(); ++i)
        badLzw[i] = '\xff'; // codes beyond the table
    QTest::newRow("gif-bad-lzw") << "gif" << badLzw << SPI_OUT_OF_ORDER;
    QTest::newRow("gif-huge") << "gif" << GifClaiming(65535, 65535) << SPI_NO_MEMORY;
    QTest::newRow("gif-zero-size") << "gif" << GifClaiming(0, 0) << SPI_OUT_OF_ORDER;
    QTest::newRow("gif-no-frame") << "gif" << gif.left(codeSize - 10) + ";" << SPI_OUT_OF_ORDER;

    const QByteArray webp = ReadAll(MakeSample(box, "webp", picture));
    QByteArray riffLie = webp;
    qToLittleEndian(quint32(50000000), riffLie.data() + 4);
    // All the picture is there: the size in the file header does not matter.
    QTest::newRow("webp-riff-size-lie") << "webp" << riffLie << SPI_SUCCESS;
    QByteArray chunkLie = webp;
    qToLittleEndian(quint32(0x7ffffff0), chunkLie.data() + 16);
    QTest::newRow("webp-chunk-size-lie") << "webp" << chunkLie << SPI_OUT_OF_ORDER;
    QByteArray dimensionLie = webp; // lossless header: 14 bits each of width-1 and height-1
    QVERIFY(dimensionLie.mid(12, 4) == "VP8L");
    qToLittleEndian(quint32(0x3fff | (0x3fffu << 14)), dimensionLie.data() + 21);
    QTest::newRow("webp-dimension-lie") << "webp" << dimensionLie << SPI_OUT_OF_ORDER;

    QByteArray tiff = ReadAll(MakeSample(box, "tiff", picture));
    qToLittleEndian(quint32(0xfffff000u), tiff.data() + 4);
    QTest::newRow("tiff-bad-directory") << "tiff" << tiff << SPI_OUT_OF_ORDER;
    QTest::newRow("tiff-huge") << "tiff" << TiffClaiming(100000, 100000, 100) << SPI_NO_MEMORY;
    QTest::newRow("tiff-zero-width") << "tiff" << TiffClaiming(0, 10, 100) << SPI_OUT_OF_ORDER;
    QTest::newRow("tiff-short-strip") << "tiff" << TiffClaiming(100, 100, 50) << SPI_OUT_OF_ORDER;
}

void TestPlugins::broken() {
    QFETCH(QString, format);
    QFETCH(QByteArray, data);
    QFETCH(int, expected);
    const TDecoded d = DecodeMemory(lib(format), data);
    QCOMPARE(d.Result, expected);
    if (expected == SPI_SUCCESS)
        QCOMPARE(d.Image.size(), QSize(40, 30));
    else
        QVERIFY(d.HandlesNull);
}

void TestPlugins::unknownAndUnreadable_data() {
    isSupported_data();
}

void TestPlugins::unknownAndUnreadable() {
    QFETCH(QString, format);
    TSandbox box;
    const TPluginLib& l = lib(format);
    const QByteArray noise = QByteArray("not a picture at all, just some text\n").repeated(20);
    QCOMPARE(DecodeMemory(l, noise).Result, SPI_NOT_SUPPORT);
    QCOMPARE(DecodeMemory(l, QByteArray()).Result, SPI_NOT_SUPPORT);
    QCOMPARE(DecodeFile(l, box.filePath(QStringLiteral("missing.png")), 0).Result,
             SPI_FILE_READ_ERROR);
    QCOMPARE(DecodeFile(l, box.makeDir(QStringLiteral("folder")), 0).Result, SPI_FILE_READ_ERROR);
    // A named pipe with no writer is refused at once instead of waiting forever.
    const QString pipe = box.filePath(QStringLiteral("pipe.png"));
    QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QCOMPARE(DecodeFile(l, pipe, 0).Result, SPI_FILE_READ_ERROR);
    HLOCAL h = nullptr;
    QCOMPARE(l.getPicture(noise.constData(), noise.size(), SPI_INPUT_MEMORY, &h, nullptr,
                          &TProgressLog::Callback, 0),
             SPI_OTHER_ERROR);
}

void TestPlugins::concurrentDecodes() {
    // No shared state: decodes on several threads at once agree with one alone.
    TSandbox box;
    const QImage picture = TestPicture(120, 90, true);
    std::map<QString, QByteArray> data;
    std::map<QString, QImage> expected;
    for (const QString& f : PluginFormats()) {
        data[f] = ReadAll(MakeSample(box, f, picture, f));
        expected[f] = DecodeMemory(lib(f), data[f]).Image;
        QVERIFY(!expected[f].isNull());
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                const QString f = PluginFormats()[(t + round) % PluginFormats().size()];
                const bool broken = round % 3 == 2;
                const QByteArray input = broken ? data[f].left(data[f].size() / 2) : data[f];
                const TDecoded d = DecodeMemory(lib(f), input);
                if (broken ? d.Result == SPI_SUCCESS : d.Image != expected[f])
                    ++failures;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    QCOMPARE(failures.load(), 0);
}

QTEST_MAIN(TestPlugins)
#include "test_plugins.moc"
