#include "spi/SPIs.h"
#include "spi_plugins/SpiTestSupport.h"
#include "support/MainWindowFixture.h"
#include "support/TestSupport.h"
#include "toolkit/Picture.h"

#include <QSettings>
#include <QtTest>
#include <dlfcn.h>
#include <map>

namespace {

bool IsLoaded(const QString& path) {
    void* h = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_NOLOAD);
    if (h)
        dlclose(h);
    return h != nullptr;
}

// A manager whose search places are sandbox folders; a place not given is
// asked of the real manager when Real is set, else is unavailable.
class TTestSPIs : public TSPIs {
public:
    std::map<TSPISearchOption, QString> Places;
    bool Real = false;
    QString Place(TSPISearchOption o) const { return PlaceDirectory(o); }

protected:
    QString PlaceDirectory(TSPISearchOption option) const override {
        auto it = Places.find(option);
        if (it != Places.end())
            return it->second;
        return Real ? TSPIs::PlaceDirectory(option) : QString();
    }
};

const TSPISearchOptions MainWindowOptions{spsSusieDir, spsAppDir, spsSystemDir, spsWindowsDir};

QStringList LoadedFiles(const TSPIs& spis) {
    QStringList files;
    for (int i = 0; i < spis.PluginCount(); ++i)
        files << spis.Plugins(i)->ModuleFileName();
    return files;
}

const TGraphicClassInfo PluginPictureClass{"TTestPluginPicture", nullptr};

// A main window made in a sandbox: its manager, emptied, searches with the
// window's own handlers.
struct TWindowSPIs {
    TMainWindowFixture Fixture;
    TSPIs& Spis = *Fixture.Open().SPIs1;
    TWindowSPIs() {
        Spis.ClearPlugins();
        TSPIs::SetDefaultGraphicClass(&PluginPictureClass);
    }
};

} // namespace

class TestSPIManager : public QObject {
    Q_OBJECT
private slots:
    void init() {
        TSPIs::SetDefaultGraphicClass(&PluginPictureClass);
        TPicture::UnregisterGraphicClass(&PluginPictureClass);
    }
    void cleanup() {
        TPicture::UnregisterGraphicClass(&PluginPictureClass);
        TSPIs::SetDefaultGraphicClass(nullptr);
    }

    void oneManagerPerProcess() {
        QVERIFY(!ActiveSPIs);
        {
            TSPIs first;
            QCOMPARE(ActiveSPIs, &first);
            QCOMPARE(first.MacBinary, true);
            QCOMPARE(first.AutoSearch, true);
            QCOMPARE(first.GraphicPreview, false);
            QVERIFY(!first.GraphicForcedLoader);
            QVERIFY(first.SearchOptions == (TSPISearchOptions{spsSusieDir, spsAppDir}));
            try {
                TSPIs second;
                QFAIL("second manager made");
            } catch (const ESPIDupCreateSPIs& e) {
                QCOMPARE(e.Message, QString("TSPIs は複数生成できません"));
            }
            QCOMPARE(ActiveSPIs, &first);
        }
        QVERIFY(!ActiveSPIs);
    }

    void placesInOrderAndSameNamesInBoth() {
        TSandbox box;
        const QString app = CopySpi("vt_in", box.filePath("app"), "sample.spi");
        const QString win = CopySpi("vt_two", box.filePath("win"), "sample.spi");
        const QString sys = CopySpi("vt_nopreview", box.filePath("sys"), "other.spi");
        const QString cur = CopySpi("vt_fail", box.filePath("cur"), "cur.spi");
        TTestSPIs spis;
        spis.SearchOptions = MainWindowOptions;
        spis.Places = {{spsAppDir, box.filePath("app")},
                       {spsCurrentDir, box.filePath("cur")},
                       {spsSystemDir, box.filePath("sys") + "/"},
                       {spsWindowsDir, box.filePath("win")}};
        spis.Loaded();
        QCOMPARE(LoadedFiles(spis), (QStringList{app, sys, win}));
        QVERIFY(!IsLoaded(cur));
    }

    void susieFolderFromSettings_data() {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("without slash") << "";
        QTest::newRow("with slash") << "/";
    }
    void susieFolderFromSettings() {
        QFETCH(QString, suffix);
        TSandbox box;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, box.filePath("conf"));
        const QString dir = box.filePath("susie");
        const QString a = CopySpi("vt_in", dir, "a.spi");
        const QString b = CopySpi("vt_two", dir, "b.spi");
        {
            QSettings s("Mirabo", "Susie");
            s.setValue("Plug-in/Path", dir + suffix);
        }
        TTestSPIs spis;
        spis.Real = true;
        spis.Places = {{spsAppDir, dir}}; // the same folder reached twice
        spis.SearchOptions = {spsSusieDir, spsAppDir};
        QCOMPARE(spis.Place(spsSusieDir), dir + suffix);
        spis.SearchPlugins("*.spi");
        QCOMPARE(LoadedFiles(spis), (QStringList{a, b}));
        // No key: the place is skipped.
        {
            QSettings s("Mirabo", "Susie");
            s.clear();
        }
        QVERIFY(spis.Place(spsSusieDir).isEmpty());
    }

    void realPlaces() {
        TTestSPIs spis;
        spis.Real = true;
        QCOMPARE(spis.Place(spsSystemDir), QString(VELMO_PLUGIN_DIR));
        QCOMPARE(spis.Place(spsWindowsDir), QString("/usr/lib/susie"));
        QCOMPARE(spis.Place(spsAppDir), QCoreApplication::applicationDirPath());
        QCOMPARE(spis.Place(spsCurrentDir), QDir::currentPath());
    }

    void maskWithFolderSearchesOnlyThere() {
        TSandbox box;
        const QString only = CopySpi("vt_in", box.filePath("plug"), "x.spi");
        CopySpi("vt_two", box.filePath("plug"), "y.dll");
        const QString app = CopySpi("vt_two", box.filePath("app"), "app.spi");
        TTestSPIs spis;
        spis.Places = {{spsAppDir, box.filePath("app")}};
        spis.SearchPlugins(box.filePath("plug") + "/*.spi");
        QCOMPARE(LoadedFiles(spis), QStringList{only});
        QVERIFY(!IsLoaded(app));
    }

    void whatTheFolderSearchTakes() {
        TSandbox box;
        const QString dir = box.filePath("p");
        const QString upper = CopySpi("vt_in", dir, "UPPER.SPI");
        const QString hidden = CopySpi("vt_two", dir, ".hidden.spi");
        QDir().mkpath(dir + "/folder.spi");
        box.writeFile("p/text.spi", "not a library");
        const QString noPicture = CopySpi("vt_nopicture", dir, "b_nopicture.spi");
        const QString noInfo = CopySpi("vt_noinfo", dir, "c_noinfo.spi");
        const QString last = CopySpi("vt_nopreview", dir, "z_last.spi");
        TTestSPIs spis;
        spis.Places = {{spsAppDir, dir}};
        spis.SearchPlugins("*.spi");
        // Bad files are skipped quietly and the search goes on.
        QCOMPARE(LoadedFiles(spis), (QStringList{upper, last}));
        QVERIFY(!IsLoaded(hidden));
        QVERIFY(!IsLoaded(noPicture));
        QVERIFY(!IsLoaded(noInfo));
    }

    void searchHandlers() {
        TSandbox box;
        const QString dir = box.filePath("p");
        const QString in = CopySpi("vt_in", dir, "a_in.spi");
        const QString lower = CopySpi("vt_lower", dir, "b_lower.spi");
        const QString xn = CopySpi("vt_xn", dir, "c_xn.spi");
        const QString am = CopySpi("vt_amok", dir, "d_am.spi");
        const QString refused = CopySpi("vt_two", dir, "e_refused.spi");
        const QString raising = CopySpi("vt_nopreview", dir, "f_raising.spi");
        const QString after = CopySpi("vt_half", dir, "g_after.spi");
        TWindowSPIs window;
        TSPIs& spis = window.Spis;
        const auto keepImport = spis.OnSearch;
        QStringList asked;
        spis.OnSearching = [&](TSPIs* sender, const QString& file, bool& accept) {
            QCOMPARE(sender, &spis);
            asked << file;
            accept = file != refused;
        };
        spis.OnSearch = [&](TSPIs* s, TSPI* spi, bool& accept) {
            if (spi->ModuleFileName() == raising)
                throw Exception("handler failed");
            keepImport(s, spi, accept);
        };
        spis.SearchPlugins(dir + "/*.spi");
        QCOMPARE(asked, (QStringList{in, lower, xn, am, refused, raising, after}));
        QCOMPARE(LoadedFiles(spis), (QStringList{in, after}));
        for (const QString& gone : {lower, xn, am, refused, raising})
            QVERIFY2(!IsLoaded(gone), qPrintable(gone));
    }

    void searchingHandlerFailureEndsTheSearch() {
        TSandbox box;
        CopySpi("vt_in", box.filePath("p"), "a.spi");
        TTestSPIs spis;
        spis.Places = {{spsAppDir, box.filePath("p")}};
        spis.OnSearching = [](TSPIs*, const QString&, bool&) { throw Exception("stop"); };
        QVERIFY_THROWS_EXCEPTION(Exception, spis.SearchPlugins("*.spi"));
        QCOMPARE(spis.PluginCount(), 0);
    }

    // A library cut short (a half-copied download) is skipped before the
    // loader could touch what is missing; the good ones around it load.
    void truncatedPluginAmongGoodOnes() {
        TSandbox box;
        const QString dir = box.makeDir("p");
        QStringList good;
        for (const char* name : {"gif", "png", "webp"}) {
            good << dir + "/" + name + ".spi";
            QVERIFY(QFile::copy(BuildDir() + "/" + name + ".spi", good.last()));
        }
        QFile whole(BuildDir() + "/tiff.spi");
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray bytes = whole.readAll();
        for (qsizetype cut : {qsizetype(64), qsizetype(4096), bytes.size() / 4}) {
            box.writeFile("p/m_cut.spi", bytes.left(cut));
            TTestSPIs spis;
            spis.Places = {{spsAppDir, dir}};
            spis.SearchPlugins("*.spi");
            QCOMPARE(LoadedFiles(spis), good);
        }
    }

    void sameFolderThroughALinkLoadsOnce() {
        TSandbox box;
        const QString real = CopySpi("vt_in", box.filePath("real"), "a.spi");
        QVERIFY(QFile::link(box.filePath("real"), box.filePath("link")));
        TTestSPIs spis;
        spis.SearchOptions = MainWindowOptions;
        spis.Places = {{spsAppDir, box.filePath("real")}, {spsWindowsDir, box.filePath("link")}};
        spis.SearchPlugins("*.spi");
        QCOMPARE(LoadedFiles(spis), QStringList{real});
    }

    void registration_data() {
        QTest::addColumn<QString>("plugin");
        QTest::addColumn<bool>("veto");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QStringList>("registered");
        QTest::newRow("two lines, last pattern first")
            << "vt_two" << true << QStringList{"vtp", "vtr", "vtq"}
            << QStringList{"vtp", "vtr", "vtq"};
        QTest::newRow("jpg vetoed, veto carries to jpe")
            << "vt_jpejpg" << true << QStringList{"jpg", "jpe"} << QStringList{};
        QTest::newRow("jpe registered before jpg vetoed")
            << "vt_jpgjpe" << true << QStringList{"jpe", "jpg"} << QStringList{"jpe"};
        QTest::newRow("upper-case JPEG vetoed, star vetoed")
            << "vt_jpegcase" << true << QStringList{"jfif", "JPEG", "JPG", "*"}
            << QStringList{"jfif"};
        QTest::newRow("no handler registers jpg")
            << "vt_jpgjpe" << false << QStringList{} << QStringList{"jpe", "jpg"};
        QTest::newRow("star alone vetoed")
            << "vt_star" << true << QStringList{"*"} << QStringList{};
        QTest::newRow("trailing separator offers empty extension")
            << "vt_emptyext" << true << QStringList{"", "vte"} << QStringList{"", "vte"};
        QTest::newRow("no formats") << "vt_none" << true << QStringList{} << QStringList{};
        QTest::newRow("not an import plug-in")
            << "vt_lower" << true << QStringList{} << QStringList{};
    }
    void registration() {
        QFETCH(QString, plugin);
        QFETCH(bool, veto);
        QFETCH(QStringList, offered);
        QFETCH(QStringList, registered);
        TWindowSPIs window;
        TSPIs& spis = window.Spis;
        const auto keepJpegBuiltIn = spis.OnPictureRegister;
        spis.OnPictureRegister = nullptr;
        QStringList seen;
        if (veto)
            spis.OnPictureRegister = [&](TSPIs* s, TInSPI* spi, const QString& ext,
                                         const QString& desc, TGraphicClass& cls) {
                QCOMPARE(s, &spis);
                QVERIFY(spi->Descriptions().contains(desc));
                seen << ext;
                keepJpegBuiltIn(s, spi, ext, desc, cls);
            };
        spis.AddPlugin(TSPI::CreatePlugin(TestSpi(plugin)));
        QCOMPARE(seen, offered);
        QStringList mine;
        for (const QString& ext : TPicture::RegisteredExtensions())
            if (TPicture::FileFormatClass(ext) == &PluginPictureClass)
                mine << ext;
        std::sort(registered.begin(), registered.end());
        std::sort(mine.begin(), mine.end());
        QCOMPARE(mine, registered);
        // Deleting the plug-in leaves its registrations.
        spis.ClearPlugins();
        for (const QString& ext : registered)
            QCOMPARE(TPicture::FileFormatClass(ext), &PluginPictureClass);
    }

    void registrationFailureDropsThePlugin() {
        TSandbox box;
        const QString a = CopySpi("vt_in", box.filePath("p"), "a.spi");
        const QString b = CopySpi("vt_two", box.filePath("p"), "b.spi");
        TTestSPIs spis;
        spis.Places = {{spsAppDir, box.filePath("p")}};
        spis.OnPictureRegister = [&](TSPIs*, TInSPI* spi, const QString&, const QString&,
                                     TGraphicClass&) {
            if (spi->ModuleFileName() == a)
                throw Exception("no");
        };
        spis.SearchPlugins("*.spi");
        QCOMPARE(LoadedFiles(spis), QStringList{b});
        QVERIFY(!IsLoaded(a));
    }

    void indexOfPluginIgnoresAsciiCase() {
        TSandbox box;
        const QString path = CopySpi("vt_in", box.filePath("susie"), "sample.spi");
        TSPIs spis;
        spis.AddPlugin(TSPI::CreatePlugin(path));
        QCOMPARE(spis.IndexOfPlugin(path.toUpper()), 0);
        QCOMPARE(spis.IndexOfPlugin(path), 0);
        QCOMPARE(spis.IndexOfPlugin(path + "x"), -1);
        QVERIFY_THROWS_EXCEPTION(EListError, spis.Plugins(1));
        QVERIFY_THROWS_EXCEPTION(EListError, spis.Plugins(-1));
    }

    void collectPlugins_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("two claimers, later first") << "x.vtp" << QStringList{"b", "a", "d"};
        QTest::newRow("case ignored") << "/p/X.VTP" << QStringList{"b", "a", "d"};
        QTest::newRow("only the last pattern counts") << "x.vtq" << QStringList{"a", "b", "d"};
        QTest::newRow("last pattern claims") << "x.vtr" << QStringList{"b", "a", "d"};
        QTest::newRow("no extension") << "/p.vtp/name" << QStringList{"a", "b", "d"};
        QTest::newRow("unclaimed") << "x.png" << QStringList{"a", "b", "d"};
    }
    void collectPlugins() {
        QFETCH(QString, file);
        QFETCH(QStringList, order);
        TSandbox box;
        TSPIs spis;
        spis.AddPlugin(TSPI::CreatePlugin(CopySpi("vt_in", box.path(), "a.spi")));
        spis.AddPlugin(TSPI::CreatePlugin(CopySpi("vt_two", box.path(), "b.spi")));
        spis.AddPlugin(TSPI::CreatePlugin(CopySpi("vt_xn", box.path(), "c.spi")));
        spis.AddPlugin(TSPI::CreatePlugin(CopySpi("vt_none", box.path(), "d.spi")));
        QList<TSPI*> list;
        spis.CollectPlugins({TInSPI::StaticClass()}, file, list);
        QStringList names;
        for (TSPI* spi : list)
            names << QFileInfo(spi->ModuleFileName()).baseName();
        QCOMPARE(names, order);
    }

    void deletingTheForcedLoaderClearsIt() {
        TSandbox box;
        const QString path = CopySpi("vt_in", box.path(), "a.spi");
        TSPIs spis;
        spis.AddPlugin(TSPI::CreatePlugin(path));
        spis.GraphicForcedLoader = static_cast<TInSPI*>(spis.Plugins(0));
        spis.DeletePlugin(0);
        QVERIFY(!spis.GraphicForcedLoader);
        QVERIFY(!IsLoaded(path));
    }

    void addSlash_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("plain") << "/opt/susie"
                               << "/opt/susie/";
        QTest::newRow("has slash") << "/opt/susie/"
                                   << "/opt/susie/";
    }
    void addSlash() {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(SPIRules::AddSlash(in), out);
    }

    void registrationExtensions_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("extensions");
        QTest::newRow("one") << "*.pic" << QStringList{"pic"};
        QTest::newRow("after first dot") << "*.tar.gz" << QStringList{"tar.gz"};
        QTest::newRow("no dot") << "*" << QStringList{"*"};
        QTest::newRow("star dot star") << "*.*" << QStringList{"*"};
        QTest::newRow("last first") << "*.pi;*.pic" << QStringList{"pic", "pi"};
        QTest::newRow("trailing separator") << "*.pi;" << QStringList{"", "pi"};
        QTest::newRow("empty") << "" << QStringList{};
    }
    void registrationExtensions() {
        QFETCH(QString, line);
        QFETCH(QStringList, extensions);
        QCOMPARE(SPIRules::RegistrationExtensions(line), extensions);
    }

    // The loader's reason for a refused plug-in names the missing library first.
    void missingPackage_data() {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("text"); // empty: nothing to tell
        const char* missing = ": cannot open shared object file: No such file or directory";
        QTest::newRow("heif")
            << QString("libheif.so.1") + missing
            << "HEIC/HEIF/AVIF の画像を表示するにはパッケージ libheif1 を入れてください";
        QTest::newRow("jxl threads")
            << QString("libjxl_threads.so.0.7") + missing
            << "JPEG XL の画像を表示するにはパッケージ libjxl0.7 を入れてください";
        QTest::newRow("damaged")
            << "/lib/x86_64-linux-gnu/libjxl.so.0.7: file too short"
            << "JPEG XL の画像を表示するにはパッケージ libjxl0.7 を入れてください";
        QTest::newRow("a library of a library") << QString("libde265.so.0") + missing << "";
        QTest::newRow("a broken plug-in") << "/x/heif.spi: invalid ELF header"
                                          << "";
        QTest::newRow("named later in the text") << QString("x.spi: libheif.so.1") + missing << "";
    }
    void missingPackage() {
        QFETCH(QString, reason);
        QFETCH(QString, text);
        const TPluginPackage* package = SPIRules::MissingPackage(reason);
        QCOMPARE(package ? SPIRules::MissingPackageText(*package) : QString(), text);
    }
};

QTEST_MAIN(TestSPIManager)
#include "test_spi_manager.moc"
