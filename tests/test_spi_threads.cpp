// A plug-in is never entered by two threads at once, whichever threads call
// it: the test plug-in counts the threads inside it.
#include "spi/SPIPlugin.h"

#include <QtTest>
#include <dlfcn.h>
#include <thread>
#include <vector>

class TestSpiThreads : public QObject {
    Q_OBJECT
private slots:
    void oneThreadInsideAtATime() {
        auto spi = TSPI::CreateAs<TInSPI>(QStringLiteral(VELMO_TEST_SPI_DIR "/vt_count.spi"));
        QVERIFY(spi);
        const auto most = reinterpret_cast<int (*)()>(dlsym(spi->ModuleHandle(), "VtMostInside"));
        const auto threads =
            reinterpret_cast<int (*)()>(dlsym(spi->ModuleHandle(), "VtThreadsSeen"));
        QVERIFY(most && threads);
        QByteArray header("VTST", 4);
        header.append(QByteArray(2044, '\0'));
        const auto calls = [&] {
            for (int k = 0; k < 15; ++k) {
                spi->IsSupported("a.vtp", header.data());
                SpiPictureInfo info{};
                spi->GetPictureInfo(header.constData(), header.size(), 1, &info);
                LocalFree(info.hInfo); // the plug-in's text block is the caller's
                char text[64];
                spi->GetPluginInfo(1, text, sizeof text);
            }
        };
        std::vector<std::thread> workers;
        for (int t = 0; t < 2; ++t)
            workers.emplace_back(calls);
        calls();
        for (std::thread& w : workers)
            w.join();
        QCOMPARE(threads(), 2); // the plug-in records two threads at most
        QCOMPARE(most(), 1);
    }
};

QTEST_MAIN(TestSpiThreads)
#include "test_spi_threads.moc"
