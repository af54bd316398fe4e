// The small rules of the settings load: file location, start folder, centring.
#include "platform/FileName.h"
#include "settings/SettingsRules.h"

#include "support/TestSupport.h"

#include <QtTest>

class TestSettingsRules : public QObject {
    Q_OBJECT
private slots:
    void location_data() {
        QTest::addColumn<QString>("overrideDir");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("hasIni");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("xdg");
        QTest::addColumn<QString>("expected");
        QTest::newRow("override wins") << "/tmp/e2e" << true << true << true << "/x"
                                       << "/tmp/e2e/Velmo.ini";
        QTest::newRow("portable copy with its file") << "" << false << true << false << "/x"
                                                     << "/opt/velmo/Velmo.ini";
        QTest::newRow("writable program folder") << "" << false << false << true << "/x"
                                                 << "/opt/velmo/Velmo.ini";
        QTest::newRow("read-only program folder uses XDG_CONFIG_HOME")
            << "" << false << false << false << "/home/u/.cfg"
            << "/home/u/.cfg/velmo/Velmo.ini";
        QTest::newRow("installed copy never beside the program")
            << "" << true << true << true << "/home/u/.cfg"
            << "/home/u/.cfg/velmo/Velmo.ini";
        QTest::newRow("XDG_CONFIG_HOME unset") << "" << false << false << false << ""
                                               << "/home/u/.config/velmo/Velmo.ini";
        QTest::newRow("relative XDG_CONFIG_HOME is ignored")
            << "" << false << false << false << "cfg"
            << "/home/u/.config/velmo/Velmo.ini";
    }
    void location() {
        QFETCH(QString, overrideDir);
        QFETCH(bool, installed);
        QFETCH(bool, hasIni);
        QFETCH(bool, writable);
        QFETCH(QString, xdg);
        QFETCH(QString, expected);
        QCOMPARE(
            IniFileLocation(overrideDir, "/opt/velmo", installed, hasIni, writable, xdg, "/home/u"),
            expected);
    }

    void startFolder_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("specify");
        QTest::addColumn<int>("startMode");
        QTest::addColumn<QString>("expected");
        // "@" stands for the sandbox folder, which holds pics/a.jpg.
        QTest::newRow("file gives its folder") << QStringList{"@/pics/a.jpg"} << "/c"
                                               << "/s" << 0 << "@/pics";
        QTest::newRow("folder as it is") << QStringList{"@/pics"} << "/c"
                                         << "/s" << 0 << "@/pics";
        QTest::newRow("folder with closing slash unchanged") << QStringList{"@/pics/"} << "/c"
                                                             << "/s" << 0 << "@/pics/";
        QTest::newRow("argument beats StartMode 1") << QStringList{"@/pics"} << "/c"
                                                    << "/s" << 1 << "@/pics";
        QTest::newRow("missing path unchanged") << QStringList{"/no/such/dir"} << "/c"
                                                << "/s" << 1 << "/no/such/dir";
        QTest::newRow("further arguments ignored") << QStringList{"@/pics/a.jpg", "/other"} << "/c"
                                                   << "/s" << 0 << "@/pics";
        QTest::newRow("relative file against the working folder")
            << QStringList{"pics/a.jpg"} << "/c"
            << "/s" << 0 << "@/pics";
        QTest::newRow("missing file gives its folder") << QStringList{"./new"} << "/c"
                                                       << "/s" << 0 << "@";
        QTest::newRow("relative missing path made absolute") << QStringList{"./no/new"} << "/c"
                                                             << "/s" << 0 << "@/no/new";
        QTest::newRow("StartMode 1 opens SpecifyFolder") << QStringList{} << "/c"
                                                         << "/s" << 1 << "/s";
        QTest::newRow("StartMode 1 with empty SpecifyFolder") << QStringList{} << "/c"
                                                              << "" << 1 << "";
        QTest::newRow("StartMode 0 keeps the last folder") << QStringList{} << "/c"
                                                           << "/s" << 0 << "/c";
        QTest::newRow("only StartMode 1 counts") << QStringList{} << "/c"
                                                 << "/s" << 7 << "/c";
        QTest::newRow("empty stays empty") << QStringList{} << ""
                                           << "/s" << 0 << "";
    }
    void startFolder() {
        QFETCH(QStringList, args);
        QFETCH(QString, current);
        QFETCH(QString, specify);
        QFETCH(int, startMode);
        QFETCH(QString, expected);
        TSandbox box;
        MakePicture(box.filePath("pics/a.jpg"), 8, 8);
        for (QString& a : args)
            a.replace("@", box.path());
        expected.replace("@", box.path());
        QCOMPARE(StartFolder(args, current, specify, startMode, box.path()), expected);
    }

    // The picture a start opens on: the argument's file, else the one stored
    // at close while it lies in the folder opened.
    void startPicture() {
        TSandbox box;
        MakePicture(box.filePath("p/a.jpg"), 8, 8);
        const struct {
            QStringList Args;
            QString Stored, Folder, Expected;
        } rows[] = {
            {{"@/p/a.jpg"}, "@/p/b.jpg", "@/p", "@/p/a.jpg"}, // the file given
            {{"p/a.jpg"}, "", "@/p", "@/p/a.jpg"},            // relative to the working folder
            {{"@/p"}, "@/p/b.jpg", "@/p", ""},                // a folder: its first picture
            {{"@/p/x.jpg"}, "", "@/p/x.jpg", ""},             // a missing file
            {{}, "/c/b.jpg", "/c", "/c/b.jpg"},               // stored, in the folder opened
            {{}, "/c/b.jpg", "/s", ""},                       // stored, another folder
        };
        const auto at = [&](QString s) { return s.replace("@", box.path()); };
        for (const auto& r : rows) {
            QStringList args;
            for (const QString& a : r.Args)
                args << at(a);
            QCOMPARE(StartPicture(args, at(r.Stored), at(r.Folder), box.path()), at(r.Expected));
        }
    }

    void folderOfFile_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::newRow("nested") << "/home/u/pics/a.jpg"
                                << "/home/u/pics";
        QTest::newRow("root keeps its slash") << "/a.jpg"
                                              << "/";
        QTest::newRow("japanese names") << "/写真/表/ソ.jpg"
                                        << "/写真/表";
    }
    void folderOfFile() {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QCOMPARE(FolderOfFile(path), folder);
    }

    void centred_data() {
        QTest::addColumn<int>("screen");
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("pos");
        QTest::newRow("fits") << 1080 << 600 << 240;
        QTest::newRow("odd difference truncates") << 1081 << 600 << 240;
        QTest::newRow("larger window truncates toward zero") << 1000 << 1201 << -100;
        QTest::newRow("equal") << 768 << 768 << 0;
        QTest::newRow("absurd width does not overflow")
            << 1920 << std::numeric_limits<int>::min() << 1073742784;
    }
    void centred() {
        QFETCH(int, screen);
        QFETCH(int, window);
        QFETCH(int, pos);
        QCOMPARE(CentredPosition(screen, window), pos);
    }

    // A name's bytes, the text Velmo holds, what a person reads, and what
    // Velmo.ini keeps: each converts back exactly.
    void nameRoundTrip_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("ini");
        QTest::newRow("ascii") << QByteArray("/p/a b%41.jpg") << "/p/a b%41.jpg"
                               << "/p/a b%41.jpg";
        QTest::newRow("utf-8") << QByteArray("/写真/夏.jpg") << "/写真/夏.jpg"
                               << "/写真/夏.jpg";
        QTest::newRow("shift-jis") << QByteArray("/p/\x89\xc4 %.jpg") << "/p/夏 %.jpg"
                                   << "file:///p/%89%C4%20%25.jpg";
        QTest::newRow("broken in shift-jis")
            << QByteArray("/\x89\xc4/a\xff\xc3.jpg") << "/夏/a\uFFFD\uFFFD.jpg"
            << "file:///%89%C4/a%FF%C3.jpg";
    }
    void nameRoundTrip() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QFETCH(QString, ini);
        const QString held = PathFromBytes(bytes);
        QCOMPARE(PathToBytes(held), bytes);
        QCOMPARE(DisplayPath(held), shown);
        QCOMPARE(PathToIniValue(held), ini);
        QCOMPARE(PathFromIniValue(ini), held);
    }

    void windowStateNumbers() {
        QCOMPARE(WindowStateNumber(wsNormal), 1);
        QCOMPARE(WindowStateNumber(wsMinimized), 2);
        QCOMPARE(WindowStateNumber(wsMaximized), 3);
        TWindowState s = wsMaximized;
        QVERIFY(WindowStateFromNumber(1, s) && s == wsNormal);
        QVERIFY(WindowStateFromNumber(2, s) && s == wsMinimized);
        QVERIFY(WindowStateFromNumber(3, s) && s == wsMaximized);
        for (int bad : {0, 4, -1, 1 << 20})
            QVERIFY(!WindowStateFromNumber(bad, s) && s == wsMaximized);
    }
};

QTEST_GUILESS_MAIN(TestSettingsRules)
#include "test_settings_rules.moc"
