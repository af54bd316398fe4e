#include "spi/SPIPlugin.h"
#include "spi_plugins/SpiTestSupport.h"
#include "support/TestSupport.h"

#include <QtTest>
#include <dlfcn.h>

namespace {

bool IsLoaded(const QString& path) {
    void* h = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_NOLOAD);
    if (h)
        dlclose(h);
    return h != nullptr;
}

} // namespace

class TestSPIPlugin : public QObject {
    Q_OBJECT
private slots:
    void classFollowsApiType_data() {
        QTest::addColumn<QString>("plugin");
        QTest::addColumn<QString>("apiType");
        QTest::addColumn<QString>("className");
        QTest::newRow("import") << "vt_in"
                                << "00IN"
                                << "TInSPI";
        QTest::newRow("lower-case type is no import") << "vt_lower"
                                                      << "00in"
                                                      << "TSPI";
        QTest::newRow("unknown type") << "vt_other"
                                      << "ZZZZ"
                                      << "TSPI";
        QTest::newRow("00XN") << "vt_xn"
                              << "00XN"
                              << "TXnSPI";
        QTest::newRow("archive") << "vt_amok"
                                 << "00AM"
                                 << "TAmSPI";
    }
    void classFollowsApiType() {
        QFETCH(QString, plugin);
        QFETCH(QString, apiType);
        QFETCH(QString, className);
        std::unique_ptr<TSPI> spi = TSPI::CreatePlugin(TestSpi(plugin));
        QVERIFY(spi);
        QCOMPARE(spi->APIType(), apiType);
        QCOMPARE(QString::fromLatin1(spi->ClassType()->ClassName), className);
        QCOMPARE(spi->PluginName(), plugin);
        QCOMPARE(spi->InheritsFrom(TLoaderSPI::StaticClass()),
                 className == "TInSPI" || className == "TAmSPI");
        QVERIFY(spi->InheritsFrom(TSPI::StaticClass()));
    }

    void formatPairs_data() {
        QTest::addColumn<QString>("plugin");
        QTest::addColumn<QStringList>("extensions");
        QTest::addColumn<QStringList>("descriptions");
        QTest::newRow("two formats") << "vt_two" << QStringList{"*.vtp", "*.vtq;*.vtr"}
                                     << QStringList{"VTP picture", "VTQ picture"};
        QTest::newRow("pattern without description dropped")
            << "vt_half" << QStringList{"*.vtp"} << QStringList{"VTP picture"};
        QTest::newRow("no formats") << "vt_none" << QStringList{} << QStringList{};
    }
    void formatPairs() {
        QFETCH(QString, plugin);
        QFETCH(QStringList, extensions);
        QFETCH(QStringList, descriptions);
        std::unique_ptr<TSPI> spi = TSPI::CreatePlugin(TestSpi(plugin));
        QVERIFY(spi);
        QCOMPARE(spi->Extensions(), extensions);
        QCOMPARE(spi->Descriptions(), descriptions);
    }

    void unterminatedInformationIsCutAtTheBuffer() {
        std::unique_ptr<TSPI> spi = TSPI::CreatePlugin(TestSpi("vt_unterminated"));
        QVERIFY(spi);
        QCOMPARE(spi->APIType().size(), 255);
        QVERIFY(spi->APIType().startsWith("00IN"));
        QCOMPARE(QString::fromLatin1(spi->ClassType()->ClassName), QString("TSPI"));
    }

    void missingEntryPointRaises_data() {
        QTest::addColumn<QString>("plugin");
        QTest::addColumn<QString>("function");
        QTest::newRow("import without GetPicture") << "vt_nopicture"
                                                   << "GetPicture";
        QTest::newRow("archive without GetArchiveInfo") << "vt_am"
                                                        << "GetArchiveInfo";
        QTest::newRow("no GetPluginInfo") << "vt_noinfo"
                                          << "GetPluginInfo";
    }
    void missingEntryPointRaises() {
        QFETCH(QString, plugin);
        QFETCH(QString, function);
        const QString path = TestSpi(plugin);
        try {
            TSPI::CreatePlugin(path);
            QFAIL("no exception");
        } catch (const ESPIInvalidAPI& e) {
            QCOMPARE(e.Message, function + "は[" + path + "]では使えないSusie Plugin APIです");
        }
        QVERIFY(!IsLoaded(path)); // probe and failed object both released
    }

    void notALibrary_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("text") << QByteArray("not a library\n");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("truncated ELF") << QByteArray("\x7f"
                                                     "ELF\x02\x01\x01",
                                                     7);
    }
    void notALibrary() {
        QFETCH(QByteArray, contents);
        TSandbox box;
        const QString path = box.writeFile("bad.spi", contents);
        QVERIFY(!TSPI::CreatePlugin(path));
        try {
            TSPI::Create(TSPI::StaticClass(), path);
            QFAIL("no exception");
        } catch (const ESPIFOpenErrorSPI& e) {
            QCOMPARE(e.Message, path + ":Susie Pluginがロードできませんでした");
        }
        QVERIFY(!TSPI::CreatePlugin(box.filePath("missing.spi")));
    }

    void moduleFileNameIsTheLoadedPath() {
        TSandbox box;
        const QString path = CopySpi("vt_in", box.path(), "sample.spi");
        std::unique_ptr<TSPI> spi = TSPI::CreatePlugin(path);
        QVERIFY(spi);
        QCOMPARE(spi->ModuleFileName(), path);

        // A name without a folder is the working folder's file.
        const QString old = QDir::currentPath();
        QDir::setCurrent(box.path());
        std::unique_ptr<TSPI> bare = TSPI::CreatePlugin("sample.spi");
        QDir::setCurrent(old);
        QVERIFY(bare);
        QCOMPARE(bare->ModuleFileName(), path);
    }

    void sameFileSharesOneLibrary() {
        TSandbox box;
        const QString path = CopySpi("vt_in", box.path(), "shared.spi");
        auto first = TSPI::CreateAs<TInSPI>(path);
        auto second = TSPI::CreateAs<TInSPI>(path);
        QCOMPARE(first->ModuleHandle(), second->ModuleHandle());
        first.reset();
        QVERIFY(IsLoaded(path));
        char buf[256] = {};
        QVERIFY(second->GetPluginInfo(0, buf, 255) > 0);
        QCOMPARE(QByteArray(buf), QByteArray("00IN"));
        second.reset();
        QVERIFY(!IsLoaded(path));
    }

    void callThroughNeedsItsEntryPoint() {
        auto spi = TSPI::CreateAs<TInSPI>(TestSpi("vt_nopreview"));
        HLOCAL info = nullptr, bits = nullptr;
        try {
            spi->GetPreview("x", 0, 0, &info, &bits, nullptr, 0);
            QFAIL("no exception");
        } catch (const ESPIInvalidAPI& e) {
            QCOMPARE(e.Message, "GetPreviewは[" + TestSpi("vt_nopreview") +
                                    "]では使えないSusie Plugin APIです");
        }
        // The plug-in stays usable.
        const QByteArray data = TestPictureData(2, 2, 24);
        QVERIFY(spi->IsSupported("", const_cast<char*>(data.constData())) != 0);
    }
};

QTEST_MAIN(TestSPIPlugin)
#include "test_spi_plugin.moc"
