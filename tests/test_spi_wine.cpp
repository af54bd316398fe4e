// Windows plug-ins (our own test plug-in cross-built for 32 and 64 bits) run
// through the hosts under Wine: pictures pixel for pixel, plug-ins that crash,
// hang or end their process, a picture too large for a 32-bit host, the
// search that asks Wine in the background, and a machine without Wine.
#include "platform/Exceptions.h"
#include "spi/SPIBmp.h"
#include "spi/SPIRemote.h"
#include "spi/SPIWine.h"
#include "spi/SPIs.h"
#include "spi_plugins/SpiTestSupport.h"
#include "support/TestSupport.h"

#include <QtTest>

namespace {

const quint8 vtCrash = 4, vtHang = 8, vtExit = 16, vtBlank = 32, vtSlow = 64;

QString WinSpi(int bits) {
    return QStringLiteral(VELMO_TEST_SPI_DIR "/vt_win%1.%2")
        .arg(bits)
        .arg(bits == 32 ? QStringLiteral("spi") : QStringLiteral("sph"));
}

// A folder holding the plug-in of that bitness, with its own information file.
QString PluginFolder(const TSandbox& box, int bits) {
    const QString folder = box.makeDir(QStringLiteral("plugins"));
    QFile::copy(WinSpi(bits), folder + QFileInfo(WinSpi(bits)).fileName().prepend('/'));
    WinePlugins().Setup.CacheDir = box.makeDir(QStringLiteral("cache"));
    return folder;
}

// Whether the bitmap loads the file; its picture is then in the bitmap.
bool Loads(TSPIBitmap& bitmap, const QString& path) {
    try {
        bitmap.LoadFromFile(path);
        return true;
    } catch (const EInvalidGraphic& e) {
        if (e.Message != QLatin1String("Susie Plugins could not decode"))
            throw;
        return false;
    }
}

void ComparePixels(const QImage& image, int width, int height) {
    QCOMPARE(image.size(), QSize(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            QCOMPARE(image.pixel(x, y), TestPixel(x, y, 24) | 0xff000000u);
}

} // namespace

class TestSPIWine : public QObject {
    Q_OBJECT
    const TWineSetup Original = WinePlugins().Setup;

private slots:
    void initTestCase() {
        if (!WinePlugins().HasLoader(32) || !WinePlugins().HasLoader(64)) {
            if (qEnvironmentVariableIsSet("VELMO_REQUIRE_WINE"))
                QFAIL("Wine is missing: scripts/install-deps.sh --wine installs it");
            QSKIP("Wine is missing (scripts/install-deps.sh --wine installs it)");
        }
        QVERIFY(QFile::exists(WinSpi(32)) && QFile::exists(WinSpi(64)));
    }
    void init() { WinePlugins().Setup = Original; }

    // A picture larger than the first shared memory is read straight from
    // the host's memory, or, where that is not wanted, fetched through a
    // larger shared memory.
    void decodes_data() {
        QTest::addColumn<int>("bits");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("memory");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("direct");
        const QSize small(13, 7), large(1700, 1000);
        QTest::newRow("32-bit memory") << 32 << "p.vtp" << true << small << true;
        QTest::newRow("32-bit Japanese name")
            << 32 << "写真 フォルダ/一枚目.vtp" << false << small << true;
        QTest::newRow("64-bit Japanese name")
            << 64 << "写真 フォルダ/一枚目.vtp" << false << small << true;
        QTest::newRow("32-bit large, read") << 32 << "p.vtp" << false << large << true;
        QTest::newRow("64-bit large, read") << 64 << "p.vtp" << false << large << true;
        QTest::newRow("64-bit large, fetched") << 64 << "p.vtp" << false << large << false;
    }
    void decodes() {
        QFETCH(int, bits);
        QFETCH(QString, name);
        QFETCH(bool, memory);
        QFETCH(QSize, size);
        QFETCH(bool, direct);
        WinePlugins().Setup.ReadHostMemory = direct;
        WinePlugins().StopHosts(); // each row maps its shared memory afresh
        TSandbox box;
        TSPIs spis;
        spis.SearchPlugins(PluginFolder(box, bits) + QStringLiteral("/*.sp?"));
        // Asked of Wine now, since nothing was known of the plug-in yet.
        QCOMPARE(spis.PluginCount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(spis.PluginCount(), 1, 300000);
        auto* plugin = dynamic_cast<TInSPI*>(spis.Plugins(0));
        QVERIFY(plugin && plugin->Remote() && plugin->Remote()->Bits() == bits);
        QCOMPARE(plugin->PluginName(), QStringLiteral("Velmo テスト"));
        QCOMPARE(plugin->Extensions(), QStringList{"*.vtp"});

        box.makeDir(QFileInfo(name).path());
        const QString path = box.writeFile(name, TestPictureData(size.width(), size.height(), 24));
        TSPIBitmap bitmap;
        if (memory) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            bitmap.LoadFromStreamWithName(file, QString());
        } else {
            QVERIFY(Loads(bitmap, path));
        }
        ComparePixels(bitmap.Image(), size.width(), size.height());
        if (size.width() * size.height() < 1000000)
            return;
        const TSPIHost* host = WinePlugins().Host(bits);
        if (direct && !host->ReadsDirectly()) {
            if (qEnvironmentVariableIsSet("VELMO_REQUIRE_WINE"))
                QFAIL("the host's memory could not be read");
            QSKIP("this system does not let a process read its child's memory");
        }
        // Read straight, the picture never needed a larger shared memory.
        QCOMPARE(host->SharedDataSize() >= quint64(size.width() * 3 * size.height()), !direct);
    }

    // A progress handler that asks to stop ends the plug-in's decode; the
    // next picture decodes as usual.
    void stopFlag() {
        TSandbox box;
        auto remote = TRemotePlugin::Open(PluginFolder(box, 64) + "/vt_win64.sph", 64);
        QVERIFY(remote);
        HLOCAL info = nullptr, bits = nullptr;
        const auto stop = [](int done, int, intptr_t) { return done > 0 ? 1 : 0; };
        const QByteArray slow =
            QFile::encodeName(box.writeFile("slow.vtp", TestPictureData(5, 4, 24, vtSlow)));
        QCOMPARE(remote->GetPicture(false, slow.constData(), 0, 0, &info, &bits, stop, 0),
                 SPI_ABORT);
        const QByteArray good =
            QFile::encodeName(box.writeFile("good.vtp", TestPictureData(5, 4, 24)));
        const auto go = [](int, int, intptr_t) { return 0; };
        QCOMPARE(remote->GetPicture(false, good.constData(), 0, 0, &info, &bits, go, 0),
                 SPI_SUCCESS);
        QVERIFY(info && bits);
        LocalFree(info);
        LocalFree(bits);
    }

    void misbehavingPlugins_data() {
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("flag");
        QTest::newRow("32-bit crash") << 32 << int(vtCrash);
        QTest::newRow("64-bit crash") << 64 << int(vtCrash);
        QTest::newRow("32-bit hang") << 32 << int(vtHang);
        QTest::newRow("64-bit ExitProcess") << 64 << int(vtExit);
    }
    void misbehavingPlugins() {
        QFETCH(int, bits);
        QFETCH(int, flag);
        TSandbox box;
        WinePlugins().Setup.CallTimeoutMs = 3000;
        QStringList notices;
        TSPIs spis;
        spis.OnNotice = [&](const QString& text) { notices << text; };
        auto info = WinePlugins().Probe(
            PluginFolder(box, bits) + "/" + QFileInfo(WinSpi(bits)).fileName(), bits);
        QVERIFY(info && info->Loads);
        spis.SearchPlugins(box.filePath("plugins/*.sp?"));
        QCOMPARE(spis.PluginCount(), 1);

        const QString good = box.writeFile("good.vtp", TestPictureData(5, 4, 24));
        const QString bad = box.writeFile("bad.vtp", TestPictureData(5, 4, 24, quint8(flag)));
        const QString worse = box.writeFile("worse.vtp", TestPictureData(6, 4, 24, quint8(flag)));
        TSPIBitmap bitmap;
        // The bad picture costs its host; the next picture gets a new one.
        QVERIFY(!Loads(bitmap, bad));
        QVERIFY(Loads(bitmap, good));
        ComparePixels(bitmap.Image(), 5, 4);
        const pid_t host = WinePlugins().Host(bits)->ProcessId();
        // Asked again, the known bad picture fails at once, the host lives on.
        QVERIFY(!Loads(bitmap, bad));
        QCOMPARE(WinePlugins().Host(bits)->ProcessId(), host);
        QVERIFY(notices.isEmpty());
        // A second picture that kills the host sets the plug-in aside.
        QVERIFY(!Loads(bitmap, worse));
        QVERIFY(!Loads(bitmap, good));
        QTRY_COMPARE(notices.size(), 1);
        QVERIFY(notices[0].contains(QStringLiteral("次の起動まで使いません")));
    }

    // Plug-ins that report progress for ever, claim far more memory than
    // their picture needs, or end their process just after a good picture:
    // the window's events run, memory stays bounded, the next picture loads.
    void hostilePlugins_data() {
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("flag");
        QTest::addColumn<int>("extra");
        QTest::addColumn<bool>("loads");
        QTest::newRow("32-bit hang") << 32 << int(vtHang) << 0 << false;
        QTest::newRow("64-bit endless progress") << 64 << 0 << 1 << false;
        QTest::newRow("32-bit huge bits block") << 32 << 0 << 2 << false;
        QTest::newRow("64-bit huge bits block") << 64 << 0 << 2 << false;
        QTest::newRow("64-bit ends after its picture") << 64 << 0 << 4 << true;
    }
    void hostilePlugins() {
        QFETCH(int, bits);
        QFETCH(int, flag);
        QFETCH(int, extra);
        QFETCH(bool, loads);
        TSandbox box;
        WinePlugins().Setup.CallTimeoutMs = WinePlugins().Setup.CallDeadlineMs = 3000;
        QVERIFY(WinePlugins().Probe(
            PluginFolder(box, bits) + "/" + QFileInfo(WinSpi(bits)).fileName(), bits));
        TSPIs spis;
        spis.SearchPlugins(box.filePath("plugins/*.sp?"));
        QByteArray data = TestPictureData(5, 4, 24, quint8(flag));
        data[14] = char(extra);
        const QString hostile = box.writeFile("hostile.vtp", data);
        const QString good = box.writeFile("good.vtp", TestPictureData(5, 4, 24));
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(10);
        const qint64 before = PeakMb(true);
        TSPIBitmap bitmap;
        QCOMPARE(Loads(bitmap, hostile), loads);
        // The events ran while a plug-in kept the call waiting.
        QVERIFY(!(flag || extra == 1) || ticks >= 100);
        QVERIFY(Loads(bitmap, good));
        ComparePixels(bitmap.Image(), 5, 4);
        QVERIFY(PeakMb(false) - before < 64);
    }

    void pictureTooLargeFor32BitHost() {
        TSandbox box;
        TSPIs spis;
        QVERIFY(WinePlugins().Probe(PluginFolder(box, 32) + "/vt_win32.spi", 32));
        spis.SearchPlugins(box.filePath("plugins/*.spi"));
        // 32768 x 23000 at 24 bits: 2.26 GB of pixels.
        const QString huge = box.writeFile("huge.vtp", TestPictureData(32768, 23000, 24, vtBlank));
        TSPIBitmap bitmap;
        QVERIFY(Loads(bitmap, box.writeFile("good.vtp", TestPictureData(3, 3, 24))));
        const pid_t host = WinePlugins().Host(32)->ProcessId();
        QVERIFY(!Loads(bitmap, huge));
        QCOMPARE(WinePlugins().Host(32)->ProcessId(), host);
        QVERIFY(Loads(bitmap, box.filePath("good.vtp")));
    }

    // A host that ends before it is ready is started once more: here a
    // loader that fails the first time, as Wine does now and then.
    void hostEndingAtStartIsStartedAgain() {
        TSandbox box;
        const QString loader = box.writeFile(
            "loader", "#!/bin/sh\n[ -e \"$0.ran\" ] || { touch \"$0.ran\"; exit 1; }\nexec " +
                          QFile::encodeName(Original.Loader64) + " \"$@\"\n");
        QFile(loader).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        WinePlugins().StopHosts();
        WinePlugins().Setup.Loader64 = loader;
        auto info = WinePlugins().Probe(PluginFolder(box, 64) + "/vt_win64.sph", 64);
        QVERIFY(QFile::exists(loader + ".ran"));
        QVERIFY(info && info->Loads);
        WinePlugins().StopHosts();
    }

    // Windows plug-ins that Wine must first be asked about join later, at
    // their place in the search order among the native ones; a machine
    // without Wine says once what to install.
    void searchOrderAndMissingWine() {
        TSandbox box;
        const QString folder = PluginFolder(box, 32);
        QFile::copy(WinSpi(64), folder + "/c.sph");
        CopySpi(QStringLiteral("vt_in"), folder, QStringLiteral("b.spi"));
        QVERIFY(QFile::rename(folder + "/vt_win32.spi", folder + "/a.spi"));
        {
            TSPIs spis;
            int added = 0;
            spis.OnPluginsAdded = [&] { ++added; };
            spis.SearchPlugins(folder + "/*.sp?");
            QCOMPARE(spis.PluginCount(), 1);
            QTRY_COMPARE_WITH_TIMEOUT(added, 1, 300000);
            QStringList names;
            for (int i = 0; i < spis.PluginCount(); ++i) {
                const TRemotePlugin* remote = spis.Plugins(i)->Remote();
                names << QFileInfo(spis.Plugins(i)->ModuleFileName()).fileName()
                      << QString::number(remote ? remote->Bits() : 0);
            }
            QCOMPARE(names, QStringList({"a.spi", "32", "b.spi", "0", "c.sph", "64"}));
        }
        WinePlugins().Setup.Loader32 = box.filePath("no-wine");
        QFile::copy(folder + "/a.spi", folder + "/d.spi");
        QStringList notices;
        TSPIs spis;
        spis.OnNotice = [&](const QString& text) { notices << text; };
        spis.SearchPlugins(folder + "/*.sp?");
        QCOMPARE(spis.PluginCount(), 2);
        QCOMPARE(notices.size(), 1);
        QVERIFY(notices[0].contains(QStringLiteral("wine32:i386")));
    }
};

QTEST_MAIN(TestSPIWine)
#include "test_spi_wine.moc"
