#include "platform/ShellNamespace.h"
#include "shelltree/ShellCtrls.h"
#include "shelltree/ShellWatcher.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <sys/mount.h>
#include <thread>

namespace {
// A watcher of its own whose handlers note what reaches them.
struct TProbe {
    TShDirWatcher* Watcher = nullptr;
    QStringList Notices;
    int Refreshes = 0;
    std::function<void()> OnRefresh;
    explicit TProbe(const QStringList& dirs) {
        Watcher = new TShDirWatcher(
            &dirs, FILE_NOTIFY_CHANGE_DIR_NAME,
            [this](TShDirWatcher*, TDeviceChangeData* notice) {
                Notices << notice->Caption;
                delete notice;
            },
            [this](TShDirWatcher*) {
                ++Refreshes;
                if (OnRefresh)
                    OnRefresh();
            });
        Watcher->OnTerminate = [this] { Watcher = nullptr; };
    }
    ~TProbe() {
        if (Watcher)
            Watcher->StopWatching();
    }
    bool Ready(int count) const { return Watcher && Watcher->Watching() == count; }
};
} // namespace

class TestShellWatcher : public QObject {
    Q_OBJECT
    std::unique_ptr<TSandbox> Box;
    QString Home;
    TFakePlatformScope Fake;
    std::unique_ptr<TShellTreeView> Tree;
    int Boxes = 0;

    // A tree over the sandbox home; waits until its watcher watches.
    TShellTreeView& MakeTree() {
        Tree = std::make_unique<TShellTreeView>();
        Tree->Loaded();
        TShDirWatcher* watcher = Tree->DirWatcher();
        [&] {
            QTRY_VERIFY(watcher->Directories().contains(Home + "/") &&
                        watcher->Watching() == watcher->Directories().size());
        }();
        return *Tree;
    }
    QTreeWidgetItem* HomeNode() const { return Tree->topLevelItem(0)->child(0); }

private slots:
    void init() {
        Box = std::make_unique<TSandbox>();
        Home = Box->makeDir("home");
        Box->makeDir("home/Desktop");
        qputenv("HOME", QFile::encodeName(Home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Box->makeDir("config")));
        Fake.Reset();
        Fake->MountTable = Box->writeFile("mountinfo", MountLine(1, "/", "ext4", "/dev/sda1"));
        Boxes = 0;
        Fake->OnMessageBox = [this](const QString&, const QString&, int) { return ++Boxes; };
        Fake->OnErrorBox = [this](const QString&) { ++Boxes; };
    }
    void cleanup() {
        Tree.reset();
        // Every watcher thread ends and frees itself.
        QTRY_COMPARE(TShDirWatcher::Running(), 0);
    }

    // A folder made, removed or renamed in a listed folder shows up with one
    // refresh; the files written before it woke nothing.
    void folderChangeRefreshesOnce_data() {
        QTest::addColumn<int>("action");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<int>("changes");
        QTest::newRow("made") << 0 << QStringList({"a", "Desktop", "new"}) << 1;
        QTest::newRow("removed") << 1 << QStringList({"Desktop"}) << 1;
        QTest::newRow("renamed") << 2 << QStringList({"b", "Desktop"}) << 2;
    }
    void folderChangeRefreshesOnce() {
        QFETCH(int, action);
        QFETCH(QStringList, captions);
        QFETCH(int, changes);
        Box->makeDir("home/a");
        MakeTree();
        QCOMPARE(Captions(HomeNode()), QStringList({"a", "Desktop"}));
        Box->writeFile("home/note.txt", "x");
        Box->writeFile("home/Desktop/inner.txt", "x");
        QVERIFY(QFile::rename(Home + "/note.txt", Home + "/note2.txt"));
        if (action == 0)
            QVERIFY(QDir().mkdir(Home + "/new"));
        else if (action == 1)
            QVERIFY(QDir().rmdir(Home + "/a"));
        else
            QVERIFY(QDir().rename(Home + "/a", Home + "/b"));
        QTRY_COMPARE_WITH_TIMEOUT(Captions(HomeNode()), captions, 5000);
        QCOMPARE(Tree->DirWatcher()->Refreshes(), 1);
        QCOMPARE(Tree->DirWatcher()->ChangesSeen(), changes);
    }

    // Changes each within the quiet time of the last: one refresh, after
    // the last of them.
    void steadyStreamDelaysRefresh() {
        TProbe probe({Home});
        QTRY_VERIFY(probe.Ready(1));
        int made = 0, madeAtRefresh = -1;
        probe.OnRefresh = [&] { madeAtRefresh = made; };
        QTimer stream;
        connect(&stream, &QTimer::timeout, [&] {
            if (made < 5)
                QDir().mkdir(Home + QStringLiteral("/s%1").arg(made++));
        });
        stream.start(300);
        QTRY_COMPARE_WITH_TIMEOUT(probe.Refreshes, 1, 10000);
        QCOMPARE(madeAtRefresh, 5);
    }

    // A watched folder moved away and another made in its place: the new
    // one is watched once the list names it again.
    void replacedFolderIsWatchedAnew() {
        const QStringList list{Box->makeDir("home/a")};
        TProbe probe(list);
        QTRY_VERIFY(probe.Ready(1));
        QVERIFY(QDir().rename(list[0], Home + "/old") && QDir().mkdir(list[0]));
        QTRY_COMPARE_WITH_TIMEOUT(probe.Refreshes, 1, 5000);
        probe.Watcher->SetDirectories(&list);
        QTRY_VERIFY(probe.Ready(1));
        QVERIFY(QDir().mkdir(list[0] + "/x"));
        QTRY_COMPARE_WITH_TIMEOUT(probe.Refreshes, 2, 5000);
    }

    // A second notice within the quiet time replaces the first, which is
    // freed undelivered.
    void newerDeviceNoticeReplacesPending() {
        TProbe probe({});
        for (const char* caption : {"first", "second"}) {
            auto* notice = new TDeviceChangeData;
            notice->Caption = caption;
            probe.Watcher->PostDeviceChange(notice);
        }
        QTRY_COMPARE(probe.Notices.size(), 1);
        QCOMPARE(probe.Notices, QStringList({"second"}));
    }

    // The tree goes while its refresh waits for the user-interface thread:
    // the refresh does nothing and the watcher frees itself.
    void treeDestroyedWhileDeliveryQueued() {
        MakeTree();
        TShDirWatcher* watcher = Tree->DirWatcher();
        QVERIFY(QDir().mkdir(Home + "/late"));
        // No events run here, so the delivery cannot be served yet.
        const QDeadlineTimer deadline(10000);
        while (!watcher->Delivering() && !deadline.hasExpired())
            std::this_thread::yield();
        QVERIFY(watcher->Delivering());
        Tree.reset();
        QTRY_COMPARE(TShDirWatcher::Running(), 0);
    }

    // The system's watch limit reached: the folders watched before it go on
    // being watched, and nobody is told.
    void watchLimitKeepsTheRest() {
        Box->makeDir("home/full/x");
        Box->makeDir("home/ok/x");
        Fake->OnWatchFault = [](const QString& folder) {
            return folder.endsWith("/full/") ? ENOSPC : 0;
        };
        MakeTree();
        Tree->SelectPath(Home + "/full/x");
        Tree->SelectPath(Home + "/ok/x");
        TShDirWatcher* watcher = Tree->DirWatcher();
        QTRY_VERIFY(watcher->Directories().contains(Home + "/ok/") &&
                    watcher->Watching() == watcher->Directories().size());
        QVERIFY(!watcher->Directories().contains(Home + "/full/"));
        QVERIFY(QDir().mkdir(Home + "/full/y"));
        QVERIFY(QDir().mkdir(Home + "/ok/y"));
        QTRY_COMPARE_WITH_TIMEOUT(Captions(HomeNode()->child(2)), QStringList({"x", "y"}), 5000);
        QCOMPARE(Captions(HomeNode()->child(1)), QStringList({"x", "y"})); // same refresh
        QCOMPARE(Boxes, 0);
    }

    // The caption rule of media notices.
    void deviceCaption_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("arrival");
        QTest::addColumn<QString>("caption");
        QTest::newRow("label") << "MY DISC" << true << "My disc (/media/cd)";
        QTest::newRow("digit first") << "2026 TRIP" << true << "2026 trip (/media/cd)";
        QTest::newRow("no label") << "" << true << " (/media/cd)";
        QTest::newRow("removal") << "MY DISC" << false << " (/media/cd)";
    }
    void deviceCaption() {
        QFETCH(QString, label);
        QFETCH(bool, arrival);
        QFETCH(QString, caption);
        QCOMPARE(DeviceCaption(label, "/media/cd", arrival), caption);
    }

    // A disc mounted and unmounted in the table file: the drive arrives
    // under the computer with the notice's caption, and leaves; a table
    // that cannot be read changes nothing.
    void mountTableFileDrivesNotices() {
        const QString cd = Box->makeDir("cd");
        const QByteArray base = MountLine(1, "/", "ext4", "/dev/sda1");
        MakeTree();
        QTreeWidgetItem* computer = Tree->topLevelItem(0)->child(1);
        Box->writeFile("mountinfo", base + MountLine(7, cd, "iso9660", "/dev/sr0"));
        QTRY_VERIFY_WITH_TIMEOUT(Captions(computer).contains(" (" + cd + ")"), 5000);
        QVERIFY(QFile::remove(Fake->MountTable));
        Box->writeFile("mountinfo", base);
        QTRY_COMPARE_WITH_TIMEOUT(Captions(computer), QStringList({"ローカル ディスク (/)"}), 5000);
        QCOMPARE(Boxes, 0);
    }

    // A disc or a network drive that leaves moves the selection (to the
    // computer, or to the root) only from a folder on it.
    void removalMovesOnlyItsOwnSelection() {
        const QString drive = Box->makeDir("drive/photos");
        MakeTree();
        QTreeWidgetItem* computer = Tree->topLevelItem(0)->child(1);
        for (const auto& [type, source, moved] : {std::tuple{"iso9660", "/dev/sr0", false},
                                                  {"iso9660", "/dev/sr0", true},
                                                  {"nfs4", "server:/export", true}}) {
            const QByteArray base = MountLine(1, "/", "ext4", "/dev/sda1");
            Box->writeFile("mountinfo", base + MountLine(7, Box->filePath("drive"), type, source));
            QTRY_VERIFY_WITH_TIMEOUT(Captions(computer).join("|").contains("/drive)"), 5000);
            QVERIFY(Tree->SelectPath(moved ? drive : Home + "/Desktop"));
            const QTreeWidgetItem* stays = Tree->currentItem();
            Box->writeFile("mountinfo", base);
            QTRY_VERIFY_WITH_TIMEOUT(!Captions(computer).join("|").contains("/drive)"), 5000);
            QCOMPARE(Tree->currentItem(), !moved                       ? stays
                                          : QByteArray(type) == "nfs4" ? Tree->topLevelItem(0)
                                                                       : computer);
        }
        QCOMPARE(Boxes, 0);
    }

    // A real tmpfs mounted under /media in a private mount namespace, where
    // the test may make one.
    void realMountInPrivateNamespace() {
        if (!RunsAsRoot())
            return;
        Fake->MountTable.clear();
        if (!TakePrivateMounts())
            QSKIP(NoPrivateMounts);
        // Root of a user namespace cannot write the system's /media: a
        // folder of its own there, seen by this namespace alone.
        if (!QFileInfo("/media").isWritable())
            QVERIFY(::mount("velmo", "/media", "tmpfs", 0, "size=64k") == 0);
        QByteArray point = "/media/velmo-test-XXXXXX";
        QVERIFY(::mkdtemp(point.data()));
        const QString drive = QFile::decodeName(point);
        MakeTree();
        QTreeWidgetItem* computer = Tree->topLevelItem(0)->child(1);
        const bool mounted = ::mount("velmo", point.constData(), "tmpfs", 0, "size=64k") == 0;
        if (mounted)
            QTRY_VERIFY_WITH_TIMEOUT(Captions(computer).contains(" (" + drive + ")"), 5000);
        const bool unmounted = mounted && ::umount(point.constData()) == 0;
        if (unmounted)
            QTRY_VERIFY_WITH_TIMEOUT(!Captions(computer).contains(" (" + drive + ")"), 5000);
        ::rmdir(point.constData());
        QVERIFY(mounted && unmounted);
    }
};

QTEST_MAIN(TestShellWatcher)
#include "test_shellwatcher.moc"
