// A host that speaks the protocol badly (tests/spi_plugins/fakehost.c, run
// in place of Wine): every answer leaves the program up, its memory bounded
// and its events running while it waits.
#include "spi/SPIRemote.h"
#include "spi/SPIWine.h"
#include "spi_plugins/SpiTestSupport.h"
#include "support/TestSupport.h"

#include <QtTest>

class TestSPIFakeHost : public QObject {
    Q_OBJECT

private slots:
    void answers_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("direct");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("waits"); // the call lasts until a limit ends it
        QTest::newRow("good") << "good" << false << SPI_SUCCESS << false;
        QTest::newRow("ends after its answer") << "once" << false << SPI_SUCCESS << false;
        QTest::newRow("sizes past the mapping") << "shm-huge" << false << SPI_OUT_OF_ORDER << false;
        QTest::newRow("huge block read") << "direct-huge" << true << SPI_OUT_OF_ORDER << false;
        QTest::newRow("huge block fetched") << "fetch-huge" << false << SPI_OUT_OF_ORDER << false;
        QTest::newRow("hang") << "hang" << false << SPI_OTHER_ERROR << true;
        QTest::newRow("endless progress") << "chatter" << false << SPI_OTHER_ERROR << true;
        QTest::newRow("half a hello") << "half-hello" << false << SPI_OTHER_ERROR << true;
        QTest::newRow("garbage") << "garbage" << false << SPI_OTHER_ERROR << false;
    }
    void answers() {
        QFETCH(QString, mode);
        QFETCH(bool, direct);
        QFETCH(int, result);
        QFETCH(bool, waits);
        TSandbox box;
        TWineSetup& setup = WinePlugins().Setup;
        setup.Loader64 = QStringLiteral(VELMO_TEST_SPI_DIR "/velmo_fakehost");
        setup.CacheDir = box.makeDir(QStringLiteral("cache"));
        setup.Prefix = box.makeDir(QStringLiteral("prefix"));
        box.writeFile(QStringLiteral("prefix/system.reg"), QByteArray());
        setup.ReadHostMemory = direct;
        setup.CallTimeoutMs = setup.CallDeadlineMs = setup.StartTimeoutMs = 1500;
        qputenv("VELMO_FAKEHOST", "good"); // while the plug-in is asked what it is
        WinePlugins().StopHosts();
        auto remote = TRemotePlugin::Open(box.writeFile("p.sph", "MZ"), 64);
        QVERIFY(remote);
        qputenv("VELMO_FAKEHOST", mode.toLatin1());
        WinePlugins().StopHosts();
        const QByteArray file = QFile::encodeName(box.writeFile("a.vtp", "VTST"));
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(10);
        const qint64 before = PeakMb(true);
        for (int picture = 0; picture < 2; ++picture) { // a host that ended is started again
            HLOCAL info = nullptr, bits = nullptr;
            const auto go = [](int, int, intptr_t) { return 0; };
            QCOMPARE(remote->GetPicture(false, file.constData(), 0, 0, &info, &bits, go, 0),
                     result);
            QCOMPARE(bits &&
                         QByteArray(static_cast<const char*>(LocalLock(bits)), 3) == "\x10\x20\x30",
                     result == SPI_SUCCESS);
            LocalFree(info);
            LocalFree(bits);
        }
        QVERIFY(PeakMb(false) - before < 64);
        QVERIFY(!waits || ticks >= 20); // the events ran while the program waited
        WinePlugins().StopHosts();
    }
};

QTEST_MAIN(TestSPIFakeHost)
#include "test_spi_fakehost.moc"
