// Loading and saving the settings through a stand-in for the main window.
#include "platform/Common.h"
#include "platform/FileName.h"
#include "settings/IniAccess.h"
#include "settings/Settings.h"

#include "support/FakePlatform.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <optional>

namespace {

// Records what the settings layer does to the window. As in the real
// window, the splitters' edges follow the pane sizes they were given.
class TFakeWindow : public TSettingsWindow {
public:
    int top = -1, left = -1, width = -1, height = -1;
    TWindowState state = wsNormal;
    bool stateSet = false;
    QSize screen{1920, 1080};
    int pnlLeftWidth = -1, pnlLeftTopHeight = -1, splMainLeft = 0, splLeftTop = 0;
    int actTop = -1, actLeft = -1, mainTop = -1, mainLeft = -1;
    int splMainPos = -1;
    QStringList args;
    std::function<void()> onToolBarRead;

    int Top() const override { return top; }
    void SetTop(int v) override { top = v; }
    int Left() const override { return left; }
    void SetLeft(int v) override { left = v; }
    int Width() const override { return width; }
    void SetWidth(int v) override { width = v; }
    int Height() const override { return height; }
    void SetHeight(int v) override { height = v; }
    TWindowState WindowState() const override { return state; }
    void SetWindowState(TWindowState s) override {
        state = s;
        stateSet = true;
    }
    QSize ScreenSize() const override { return screen; }
    void SetPnlLeftWidth(int v) override { pnlLeftWidth = splMainLeft = v; }
    void SetPnlLeftTopHeight(int v) override { pnlLeftTopHeight = splLeftTop = v; }
    int SplMainLeft() const override { return splMainLeft; }
    int SplLeftTop() const override { return splLeftTop; }
    int TlbActionTop() const override {
        if (onToolBarRead)
            onToolBarRead();
        return actTop;
    }
    void SetTlbActionTop(int v) override { actTop = v; }
    int TlbActionLeft() const override { return actLeft; }
    void SetTlbActionLeft(int v) override { actLeft = v; }
    int TlbMainTop() const override { return mainTop; }
    void SetTlbMainTop(int v) override { mainTop = v; }
    int TlbMainLeft() const override { return mainLeft; }
    void SetTlbMainLeft(int v) override { mainLeft = v; }
    int SplMainPos() const override { return splMainPos; }
    void SetSplMainPos(int v) override { splMainPos = v; }
    QStringList Arguments() const override { return args; }
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The lines of one section, header included, as they stand in the file.
QByteArray SectionText(const QByteArray& file, const QByteArray& header) {
    const qsizetype from = file.indexOf(header);
    if (from < 0)
        return {};
    const qsizetype to = file.indexOf("\n[", from + 1);
    return file.mid(from, to < 0 ? -1 : to + 1 - from);
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

    TFakePlatformScope Fake;
    TSandbox* Box = nullptr;
    QString Ini;

    QString Write(const QByteArray& text) { return Box->writeFile("Velmo.ini", text); }

private slots:
    void init() {
        Box = new TSandbox;
        qputenv("VELMO_INI_DIR", QFile::encodeName(Box->path()));
        Ini = Box->filePath("Velmo.ini");
        IniRec = TIniRec();
        for (TOutFolderRec& slot : OutFolders)
            slot = TOutFolderRec();
        Fake.Reset();
    }
    void cleanup() {
        qunsetenv("VELMO_INI_DIR");
        delete Box;
        Box = nullptr;
    }

    void overrideFolderNamesTheFile() { QCOMPARE(IniFileName(), Ini); }

    void defaultsWithoutFile() {
        TFakeWindow w;
        LoadSettings(w);
        QCOMPARE(w.width, 800);
        QCOMPARE(w.height, 600);
        QCOMPARE(w.top, (1080 - 600) / 2);
        QCOMPARE(w.left, (1920 - 800) / 2);
        QVERIFY(w.stateSet);
        QCOMPARE(w.state, wsNormal);
        QCOMPARE(w.pnlLeftWidth, 200);
        QCOMPARE(w.pnlLeftTopHeight, 250);
        QCOMPARE(w.splMainPos, 200);
        QCOMPARE(QList<int>({w.actLeft, w.actTop, w.mainLeft, w.mainTop}),
                 QList<int>({11, 2, 125, 2}));
        const TIniRec& r = IniRec;
        QCOMPARE(
            QList<int>({r.Tree, r.OutFolButton, r.DispSize, r.Move, r.OverWrite, r.Delete, r.Trash,
                        r.Proportional, r.Zoom, r.Save, r.Mode, r.FileName, r.StartMode}),
            QList<int>({1, 1, 0, 1, 1, 1, 1, 1, 0, 1, 0, 1, 0}));
        QVERIFY(r.CurrentPath.isEmpty());
        QVERIFY(r.SpecifyFolder.isEmpty());
        for (const TOutFolderRec& slot : OutFolders)
            QVERIFY(slot.Title.isEmpty() && slot.Path.isEmpty());
        QVERIFY(!QFile::exists(Ini)); // reading never creates the file
    }

    void windowPosition_data() {
        QTest::addColumn<QByteArray>("window");
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("left");
        QTest::newRow("stored zero top centres vertically only")
            << QByteArray("Top=0\nLeft=300\n") << 240 << 300;
        QTest::newRow("both kept") << QByteArray("Top=10\nLeft=20\n") << 10 << 20;
        QTest::newRow("0x20 and $20 read as 32") << QByteArray("Top=0x20\nLeft=$20\n") << 32 << 32;
        QTest::newRow("12px is no number and centres")
            << QByteArray("Top=12px\nLeft=7\n") << 240 << 7;
        QTest::newRow("window larger than the screen goes negative")
            << QByteArray("Width=2021\nHeight=1281\n") << -100 << -50;
        QTest::newRow("negative position kept") << QByteArray("Top=-5\nLeft=-8\n") << -5 << -8;
    }
    void windowPosition() {
        QFETCH(QByteArray, window);
        QFETCH(int, top);
        QFETCH(int, left);
        Write("[WINDOW]\n" + window);
        TFakeWindow w;
        LoadSettings(w);
        QCOMPARE(w.top, top);
        QCOMPARE(w.left, left);
    }

    void windowState_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<int>("state");
        QTest::newRow("1 normal") << QByteArray("1") << true << int(wsNormal);
        QTest::newRow("2 minimised") << QByteArray("2") << true << int(wsMinimized);
        QTest::newRow("3 maximised") << QByteArray("3") << true << int(wsMaximized);
        QTest::newRow("0 leaves it") << QByteArray("0") << false << int(wsNormal);
        QTest::newRow("4 leaves it") << QByteArray("4") << false << int(wsNormal);
        QTest::newRow("garbage leaves the default 1") << QByteArray("max") << true << int(wsNormal);
    }
    void windowState() {
        QFETCH(QByteArray, stored);
        QFETCH(bool, applied);
        QFETCH(int, state);
        Write("[WINDOW]\nState=" + stored + "\n");
        TFakeWindow w;
        LoadSettings(w);
        QCOMPARE(w.stateSet, applied);
        QCOMPARE(int(w.state), state);
    }

    void fileWrittenFromScratch() {
        TFakeWindow w;
        w.top = 100, w.left = 120, w.width = 900, w.height = 700;
        w.splMainLeft = 210, w.splLeftTop = 260, w.splMainPos = 999;
        w.actTop = 2, w.actLeft = 11, w.mainTop = 2, w.mainLeft = 125;
        IniRec = {"/home/user/写真", "", 0, 1, 1, 0, 1, 1, 1, 1, 1, 0, 1, 0, 1};
        IniRec.CurrentFile = PathFromBytes("/home/user/\x89\xc4.jpg");
        OutFolders[0] = {"写真", "/home/user/写真"};
        OutFolders[9] = {"Last", "/tmp/last"};
        SaveSettings(w);
        DeleteOldSettings();
        QByteArray expected = "[WINDOW]\nTop=100\nLeft=120\nWidth=900\nHeight=700\nSplMain=210\n"
                              "SplLeft=260\nState=1\n[SETTING]\nTlbActTop=2\nTlbActLeft=11\n"
                              "TlbMainTop=2\nTlbMainLeft=125\nTree=1\nOutFolButton=1\n[PATH]\n";
        expected += QString("Title0=写真\nPath0=/home/user/写真\n").toUtf8();
        for (int n = 1; n < 9; ++n)
            expected += "Title" + QByteArray::number(n) + "=\nPath" + QByteArray::number(n) + "=\n";
        expected += "Title9=Last\nPath9=/tmp/last\n";
        expected += QString("CurrentPath=/home/user/写真\n").toUtf8();
        expected +=
            "CurrentFile=file:///home/user/"
            "%89%C4.jpg\nStartMode=0\nSpecifyFolder=\n[ACTION]\nDispSize=0\nMove=1\nOverWrite=1\n"
            "Delete=1\nTrash=1\nProportional=1\nZoom=0\nSave=1\nMode=0\nClash=0\nKeepZoom=0\n["
            "OTHER]\n"
            "FileName=1\nVersion=1.03\n";
        QCOMPARE(ReadAll(Ini), expected);
    }

    void saveThenLoadGivesTheSameSettings() {
        TFakeWindow w;
        w.top = 33, w.left = 44, w.width = 1000, w.height = 650;
        w.splMainLeft = 0, w.splLeftTop = 300, w.splMainPos = 180; // tree hidden
        w.actTop = 3, w.actLeft = 9, w.mainTop = 31, w.mainLeft = 140;
        const QString folder = Box->makeDir("pics");
        // Every folder comes back byte for byte, a legacy (Shift-JIS) name too.
        const auto out = [](int n) {
            return n % 2 ? PathFromBytes("/out/\x8f\x6f" + QByteArray::number(n))
                         : QString("/out/'%1' ").arg(n);
        };
        IniRec = {folder, PathFromBytes("/srv/\x91\x49"), 1, 0, 1, 1, 0, 1, 0, 1, 0, 1, 1, 1, 0};
        for (int n = 0; n < OutFolderCount; ++n)
            OutFolders[n] = {QString("出力%1").arg(n), out(n)};
        SaveSettings(w);
        const QByteArray text = ReadAll(Ini);
        QVERIFY2(text.contains("\nPath1=file:///out/%8Fo1\n") &&
                     text.contains("\nSpecifyFolder=file:///srv/%91I\n"),
                 text.constData());
        const TIniRec saved = IniRec;
        IniRec = TIniRec();
        for (TOutFolderRec& slot : OutFolders)
            slot = TOutFolderRec();

        TFakeWindow back;
        back.args = {folder}; // StartMode 1 would pick SpecifyFolder otherwise
        LoadSettings(back);
        QCOMPARE(QList<int>({back.top, back.left, back.width, back.height, back.pnlLeftWidth,
                             back.pnlLeftTopHeight, back.actTop, back.actLeft, back.mainTop,
                             back.mainLeft, back.splMainPos}),
                 QList<int>({33, 44, 1000, 650, 180, 300, 3, 9, 31, 140, 180}));
        QCOMPARE(IniRec.CurrentPath, folder);
        QCOMPARE(IniRec.SpecifyFolder, saved.SpecifyFolder);
        QCOMPARE(
            QList<int>({IniRec.StartMode, IniRec.Tree, IniRec.OutFolButton, IniRec.DispSize,
                        IniRec.Move, IniRec.OverWrite, IniRec.Delete, IniRec.Trash,
                        IniRec.Proportional, IniRec.Zoom, IniRec.Save, IniRec.Mode,
                        IniRec.FileName}),
            QList<int>({saved.StartMode, saved.Tree, saved.OutFolButton, saved.DispSize, saved.Move,
                        saved.OverWrite, saved.Delete, saved.Trash, saved.Proportional, saved.Zoom,
                        saved.Save, saved.Mode, saved.FileName}));
        for (int n = 0; n < OutFolderCount; ++n) {
            QCOMPARE(OutFolders[n].Title, QString("出力%1").arg(n));
            QCOMPARE(OutFolders[n].Path, out(n));
        }
    }
    void saveZeroLeavesWindowSectionAlone() {
        const QByteArray window = "[WINDOW]\r\n; my layout\r\nTop = 10\r\nLeft=20\r\nWidth=640\r\n"
                                  "Height=480\r\nState=3\r\nSplMain=150\r\nSplLeft=99\r\n";
        Write(window + "[ACTION]\r\nSave=0\r\n");
        TFakeWindow w;
        LoadSettings(w);
        QCOMPARE(IniRec.Save, 0);
        // The load reads the window section whatever Save says.
        QCOMPARE(QList<int>({w.top, w.left, w.width, w.height, w.pnlLeftWidth}),
                 QList<int>({10, 20, 640, 480, 150}));
        QCOMPARE(w.state, wsMaximized);
        w.state = wsNormal;
        w.top = 1, w.left = 2, w.width = 3, w.height = 4, w.splMainLeft = 5;
        SaveSettings(w);
        DeleteOldSettings();
        const QByteArray after = ReadAll(Ini);
        QVERIFY(after.startsWith(window + "[ACTION]\r\n"));
        QVERIFY(after.contains("Version=1.03\r\n"));
    }

    void saveOne_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("tree");
        QTest::addColumn<QByteArray>("window");
        const QByteArray old = "[WINDOW]\nTop=10\nLeft=20\nWidth=640\nHeight=480\nSplMain=150\n"
                               "SplLeft=99\nState=1\n";
        QTest::newRow("maximised writes only State=3")
            << int(wsMaximized) << 1 << QByteArray(old).replace("State=1", "State=3");
        QTest::newRow("minimised writes only State=2")
            << int(wsMinimized) << 1 << QByteArray(old).replace("State=1", "State=2");
        QTest::newRow("normal with the tree shown: splitter edge")
            << int(wsNormal) << 1
            << QByteArray("[WINDOW]\nTop=11\nLeft=21\nWidth=700\nHeight=500\nSplMain=170\n"
                          "SplLeft=120\nState=1\n");
        QTest::newRow("normal with the tree hidden: the kept width")
            << int(wsNormal) << 0
            << QByteArray("[WINDOW]\nTop=11\nLeft=21\nWidth=700\nHeight=500\nSplMain=230\n"
                          "SplLeft=120\nState=1\n");
    }
    void saveOne() {
        QFETCH(int, state);
        QFETCH(int, tree);
        QFETCH(QByteArray, window);
        Write("[WINDOW]\nTop=10\nLeft=20\nWidth=640\nHeight=480\nSplMain=150\nSplLeft=99\n"
              "State=1\n");
        TFakeWindow w;
        LoadSettings(w);
        w.state = TWindowState(state);
        w.top = 11, w.left = 21, w.width = 700, w.height = 500;
        w.splMainLeft = tree ? 170 : 0, w.splMainPos = 230, w.splLeftTop = 120;
        IniRec.Tree = tree;
        SaveSettings(w);
        QCOMPARE(SectionText(ReadAll(Ini), "[WINDOW]"), window);
    }

    void handWrittenFlagSurvivesAClose() {
        Write("[ACTION]\nMove=7\nZoom=-3\n");
        TFakeWindow w;
        LoadSettings(w);
        QCOMPARE(IniRec.Move, 7);
        SaveSettings(w);
        QCOMPARE(IniReadString(Ini, "ACTION", "Move", ""), QString("7"));
        QCOMPARE(IniReadString(Ini, "ACTION", "Zoom", ""), QString("-3"));
    }

    void oldKeysGoOtherLinesStay() {
        Write("; written by hand\n[VERSION]\nVer=1.00\n[SETTING]\nPnlFolTop=5\nTlbFolLeft=6\n"
              "Extra=keep me\n[PATH]\nOutFolder=/old\nnote without equals\n[MINE]\nx=1\n");
        TFakeWindow w;
        LoadSettings(w);
        SaveSettings(w);
        DeleteOldSettings();
        const QByteArray after = ReadAll(Ini);
        for (const char* gone : {"[VERSION]", "Ver=", "PnlFolTop", "TlbFolLeft", "OutFolder"})
            QVERIFY2(!after.contains(gone), gone);
        for (const char* kept :
             {"; written by hand\n", "Extra=keep me\n", "note without equals\n", "[MINE]\nx=1\n"})
            QVERIFY2(after.contains(kept), kept);
        QCOMPARE(SectionText(after, "[OTHER]"), QByteArray("[OTHER]\nFileName=1\nVersion=1.03\n"));
        QVERIFY(after.startsWith("; written by hand\n[SETTING]\n"));
    }

    void startFolderFromArguments() {
        const QString folder = Box->makeDir("shots");
        const QString picture = MakePicture(folder + "/a.bmp", 4, 4);
        Write(QString("[PATH]\nCurrentPath=/last\nSpecifyFolder=/chosen\nStartMode=1\n").toUtf8());
        TFakeWindow w;
        w.args = {picture, "/ignored"};
        LoadSettings(w);
        QCOMPARE(IniRec.CurrentPath, folder);
        w.args = {folder};
        LoadSettings(w);
        QCOMPARE(IniRec.CurrentPath, folder);
        w.args = {"/no/such/place"};
        LoadSettings(w);
        QCOMPARE(IniRec.CurrentPath, QString("/no/such/place"));
        w.args = {};
        LoadSettings(w);
        QCOMPARE(IniRec.CurrentPath, QString("/chosen"));
        IniWriteInteger(Ini, "PATH", "StartMode", 0);
        LoadSettings(w);
        QCOMPARE(IniRec.CurrentPath, QString("/last"));
    }

    void driveCheckDropsTheStartFolder() {
        Write("[PATH]\nCurrentPath=/media/card/DCIM\n");
        QStringList asked;
        bool ready = false;
        Fake->OnMediumReady = [&](const QString& p) {
            asked << p;
            return ready;
        };
        TFakeWindow w;
        LoadSettings(w);
        QCOMPARE(IniRec.CurrentPath, QString());
        ready = true;
        LoadSettings(w);
        QCOMPARE(IniRec.CurrentPath, QString("/media/card/DCIM"));
        QCOMPARE(asked, QStringList({"/media/card/DCIM", "/media/card/DCIM"}));
        Write("[PATH]\nCurrentPath=\n");
        LoadSettings(w);
        QCOMPARE(asked.size(), 2); // an empty folder is not checked
    }

    void startFolderOnAnEmptyNetworkMountIsDropped() {
        // A network share whose root lists nothing counts as gone; a folder
        // missing from a drive that is there stays the start folder.
        const QString share = Box->makeDir("share");
        const QString table =
            Box->writeFile("mountinfo", QString("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                                "2 1 0:50 / %1 rw - nfs4 server:/pics rw\n")
                                            .arg(share)
                                            .toUtf8());
        Fake->MountTable = table;
        TFakeWindow w;
        Write(QString("[PATH]\nCurrentPath=%1/2026\n").arg(share).toUtf8());
        LoadSettings(w);
        const QString dropped = IniRec.CurrentPath;
        Box->writeFile("share/2026/a.jpg", "x");
        LoadSettings(w);
        const QString kept = IniRec.CurrentPath;
        Write(QString("[PATH]\nCurrentPath=%1/no/such/folder\n").arg(Box->path()).toUtf8());
        LoadSettings(w);
        QCOMPARE(dropped, QString());
        QCOMPARE(kept, share + "/2026");
        QCOMPARE(IniRec.CurrentPath, Box->path() + "/no/such/folder");
    }

    void unwritableFileStopsTheSave() {
        const QString blocker = Box->writeFile("blocker", "x");
        qputenv("VELMO_INI_DIR", QFile::encodeName(blocker));
        TFakeWindow w;
        LoadSettings(w);
        try {
            SaveSettings(w);
            QFAIL("no error raised");
        } catch (const Exception& e) {
            QCOMPARE(e.Message, blocker + QString("/Velmo.ini に書き込めません"));
        }
        QCOMPARE(ReadAll(blocker), QByteArray("x"));
    }

    void failureEndsTheSaveAtThatKey() {
        if (!RunsAsRoot())
            return;
        Write("[SETTING]\nTlbActTop=9\n[OTHER]\nFileName=0\n");
        TFakeWindow w;
        LoadSettings(w);
        w.width = 1234;
        w.actTop = 5;
        // The file becomes unwritable just before the tool bar keys.
        std::optional<TReadOnly> lock;
        w.onToolBarRead = [&] {
            if (!lock)
                lock.emplace(Ini);
        };
        IniRec.FileName = 1;
        bool raised = false;
        try {
            SaveSettings(w);
        } catch (const EIniWriteError&) {
            raised = true;
        }
        const bool locked = lock && lock->Ok;
        lock.reset();
        if (!locked)
            QSKIP(NoPrivateMounts);
        QVERIFY(raised);
        QCOMPARE(IniReadInteger(Ini, "WINDOW", "Width", 0), 1234);
        QCOMPARE(IniReadInteger(Ini, "SETTING", "TlbActTop", 0), 9);
        QCOMPARE(IniReadInteger(Ini, "OTHER", "FileName", -1), 0);
        QVERIFY(!ReadAll(Ini).contains("Version"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
