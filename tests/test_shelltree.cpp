#include "platform/Common.h"
#include "platform/FileName.h"
#include "platform/FileOperation.h"
#include "platform/ShellNamespace.h"
#include "shelltree/ShellCtrls.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolTip>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <sys/stat.h>
#include <thread>

// The tree over a sandbox home with its own desktop folder and mount table.
class TestShellTree : public QObject {
    Q_OBJECT
    std::unique_ptr<TSandbox> Box;
    QString Home, Desktop, Disk, Net;
    std::unique_ptr<TShellTreeView> Tree;
    TFakePlatformScope Fake;
    QStringList FileErrors;

    void Dirs(std::initializer_list<const char*> names) {
        for (const char* name : names)
            Box->makeDir(QString("home/") + name);
    }
    TShellTreeView& MakeTree() {
        Tree = std::make_unique<TShellTreeView>();
        Tree->resize(300, 400);
        Tree->Loaded();
        return *Tree;
    }

private slots:
    void init() {
        Box = std::make_unique<TSandbox>();
        Home = Box->makeDir("home");
        Desktop = Box->makeDir("home/Desktop");
        Disk = Box->makeDir("mnt/disk");
        Net = Box->makeDir("mnt/net");
        Box->makeDir("mnt/net/share");
        Box->makeDir("home/Desktop/on desk");
        qputenv("HOME", QFile::encodeName(Home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Box->makeDir("config")));
        Fake.Reset();
        Fake->MountTable =
            Box->writeFile("mountinfo", MountLine(1, "/", "ext4", "/dev/sda1") +
                                            MountLine(2, Disk, "ext4", "/dev/sdb1") +
                                            MountLine(3, Net, "nfs4", "server:/export") +
                                            MountLine(4, "/proc", "proc", "proc"));
        FileErrors.clear();
        Fake->OnFileOpError = [this](const QString&, const QString& text) { FileErrors << text; };
    }
    void cleanup() { Tree.reset(); }

    // ID lists keep their shape through the routines.
    void idListRoutines() {
        const ItemIDList a = MakeIDList(sikComputer, QByteArray());
        const ItemIDList b = MakeIDList(sikDrive, "/mnt");
        const ItemIDList ab = ConcatIDLists(a, b);
        QCOMPARE(IDCount(DesktopIDList()), 0);
        QCOMPARE(IDCount(ab), 2);
        QCOMPARE(IDListSize(ab), qsizetype(3 + 7 + 2));
        QCOMPARE(ParentIDList(ab), a);
        QCOMPARE(CopyFirstID(ab), a);
        QCOMPARE(ab.mid(NextID(ab, 0)), b);
        QCOMPARE(NextID(b, 0), qsizetype(-1));
        QCOMPARE(IDCount(ab.left(5)), -1); // cut short
        const auto desktop = DesktopFolder();
        QCOMPARE(desktop->CompareIDs(ab, ab), 0);
        QCOMPARE(desktop->CompareIDs(MakeIDList(sikEntry, "x10"), MakeIDList(sikEntry, "x9")), 1);
        QCOMPARE(desktop->CompareIDs(MakeIDList(sikEntry, "a"), MakeIDList(sikEntry, "B")), 2);
        QCOMPARE(desktop->CompareIDs(MakeIDList(sikEntry, "a"), MakeIDList(sikEntry, "A")) % 3 != 0,
                 true); // equal to the collator, still two items
        QCOMPARE(desktop->CompareIDs(a, QByteArray("\x05")), 3);
    }

    // The desktop's children, their types and paths; the drives from the
    // mount table.
    void classificationAndPaths() {
        Dirs({"Pictures/deep"});
        TShellTreeView& tree = MakeTree();
        QTreeWidgetItem* root = tree.topLevelItem(0);
        QCOMPARE(tree.SelectedPath(), Desktop);
        QCOMPARE(Captions(root),
                 QStringList({"ホーム", "コンピュータ", "ネットワーク", "ごみ箱", "on desk"}));
        QTreeWidgetItem* computer = root->child(1);
        computer->setExpanded(true);
        QCOMPARE(Captions(computer),
                 QStringList({"ローカル ディスク (/)", "ローカル ディスク (" + Disk + ")",
                              "server:/export (" + Net + ")"}));
        tree.SelectPath(Home + "/Pictures/deep");
        const QList<std::tuple<QTreeWidgetItem*, TShItemIDType, QString>> rows = {
            {root, itDeskTop, Desktop},
            {root->child(0), itFolder, Home},
            {computer, itMyComputer, QString()},
            {root->child(2), itNetWork, QString()},
            {root->child(3), itBitBucket, QString()},
            {root->child(4), itFolder, Desktop + "/on desk"},
            {computer->child(1), itRootDrive, Disk + "/"},
            {tree.currentItem(), itFolder, Home + "/Pictures/deep"},
        };
        for (const auto& [node, type, path] : rows) {
            QCOMPARE(TShellTreeView::ItemOf(node)->ItemType(), type);
            QCOMPARE(TShellTreeView::ItemOf(node)->FolderPath(), path);
        }
        QCOMPARE(TShellTreeView::ItemOf(tree.currentItem())->Level(), 3);
        // Computer and trash give no path to the window.
        tree.setCurrentItem(computer);
        QCOMPARE(tree.SelectedPath(), QString());
    }

    // A fresh listing keeps existing nodes and their expanded subtrees,
    // inserts in order and drops what went away; a file ends on the root.
    void mergeAndFind() {
        Dirs({"b/inner/x", "d"});
        Box->writeFile("home/c.txt", "x");
        TShellTreeView& tree = MakeTree();
        QTreeWidgetItem* home = tree.topLevelItem(0)->child(0);
        QCOMPARE(Captions(home), QStringList({"b", "d", "Desktop"}));
        QTreeWidgetItem* b = home->child(0);
        b->setExpanded(true);
        b->child(0)->setExpanded(true);
        QTreeWidgetItem* inner = b->child(0);

        Dirs({"a", "c"});
        QVERIFY(QDir(Home + "/d").removeRecursively());
        tree.RefreshAll();
        QCOMPARE(Captions(home), QStringList({"a", "b", "c", "Desktop"}));
        QCOMPARE(home->child(1), b);
        QVERIFY(b->isExpanded() && inner->isExpanded());
        QCOMPARE(b->child(0), inner);
        QCOMPARE(Captions(inner), QStringList({"x"}));

        // A deep path under unexpanded nodes, made after its parent was
        // listed, its last name not UTF-8: one change, and none for the same
        // path again; listed and selected with its bytes.
        QByteArray bytes = QFile::encodeName(Home + "/b/inner");
        for (const QByteArray part : {"w", "q", "caf\xe9\n2"})
            QCOMPARE(::mkdir((bytes += "/" + part).constData(), 0755), 0);
        const QString raw = PathFromBytes(bytes);
        QSignalSpy changes(&tree, &TShellTreeView::Change);
        QVERIFY(tree.SelectPath(raw) && tree.SelectPath(raw + "/"));
        QCOMPARE(changes.count(), 1);
        QCOMPARE(PathToBytes(tree.SelectedPath()), bytes);
        QVERIFY(tree.currentItem()->parent()->isExpanded());
        QCOMPARE(tree.currentItem()->text(0), DisplayPath(PathFromBytes("caf\xe9\n2")));
        QVERIFY(tree.SelectPath(Home + "/c.txt"));
        QCOMPARE(tree.currentItem(), tree.topLevelItem(0));
        QVERIFY(!tree.SelectPath(Home + "/missing") && !tree.SelectPath(QString()));
        QCOMPARE(changes.count(), 2);
        QCOMPARE(::rmdir(bytes.constData()), 0); // the sandbox cannot remove such a name
    }

    // Renaming in place: success re-sorts and keeps the subtree expanded;
    // a name that exists or is invalid shows the message and the old name.
    // A rename that fails while its message is up and the node is deleted
    // meanwhile (a refresh, a device notice) touches nothing of it again.
    void renameInPlace() {
        Dirs({"alpha/sub", "beta"});
        TShellTreeView& tree = MakeTree();
        QTreeWidgetItem* home = tree.topLevelItem(0)->child(0);
        QTreeWidgetItem* alpha = home->child(0);
        tree.setCurrentItem(alpha);
        alpha->setExpanded(true);
        QSignalSpy changes(&tree, &TShellTreeView::Change);
        TShellTreeView::ItemOf(alpha)->RenameItem("gamma");
        QCOMPARE(Captions(home), QStringList({"beta", "Desktop", "gamma"}));
        QCOMPARE(home->child(2), alpha);
        QVERIFY(alpha->isExpanded());
        QCOMPARE(Captions(alpha), QStringList({"sub"}));
        QCOMPARE(tree.SelectedPath(), Home + "/gamma");
        QCOMPARE(changes.count(), 1); // the window follows the folder on show
        QVERIFY(QFileInfo(Home + "/gamma/sub").isDir());
        // A folder straight on the desktop is renamed where it lies.
        TShellTreeView::ItemOf(tree.topLevelItem(0)->child(4))->RenameItem("desk2");
        QVERIFY(QFileInfo(Desktop + "/desk2").isDir());

        for (const QString& bad : {QStringLiteral("beta"), QStringLiteral("a/b"), QString()}) {
            FileErrors.clear();
            alpha->setText(0, bad);
            TShellTreeView::ItemOf(alpha)->RenameItem(bad);
            QCOMPARE(alpha->text(0), QStringLiteral("gamma"));
            QCOMPARE(FileErrors.size(), 1);
        }
        QVERIFY(QFileInfo(Home + "/beta").isDir() && QFileInfo(Home + "/gamma").isDir());
        // The root is never renamed.
        tree.editItem(tree.topLevelItem(0));
        QVERIFY(!tree.findChild<QLineEdit*>());

        Fake->OnFileOpError = [&](const QString&, const QString& text) {
            FileErrors << text;
            QVERIFY(QDir(Home + "/gamma").removeRecursively());
            tree.RefreshAll();
        };
        TShellTreeView::ItemOf(alpha)->RenameItem("beta");
        QCOMPARE(FileErrors.size(), 2);
        QCOMPARE(Captions(home), QStringList({"beta", "Desktop"}));
    }

    // Hidden folders follow the switch; the folder on show going away
    // selects its parent, never a neighbour; an empty folder loses its
    // expand button.
    void hiddenRemovedAndEmpty() {
        Dirs({".secret", "m/n", "m/o", "m/p", "empty"});
        TShellTreeView& tree = MakeTree();
        QTreeWidgetItem* home = tree.topLevelItem(0)->child(0);
        QCOMPARE(Captions(home), QStringList({".secret", "Desktop", "empty", "m"}));
        tree.SetIncludeHidden(false);
        QCOMPARE(Captions(home), QStringList({"Desktop", "empty", "m"}));

        QVERIFY(tree.SelectPath(Home + "/m/o"));
        QSignalSpy changes(&tree, &TShellTreeView::Change);
        QVERIFY(QDir().rename(Home + "/m/o", Home + "/m/o2"));
        tree.OnDirChange();
        QCOMPARE(tree.SelectedPath(), Home + "/m");
        QCOMPARE(changes.count(), 1);
        QCOMPARE(Captions(tree.currentItem()), QStringList({"n", "o2", "p"}));

        // A folder keeps its expand button until it is drawn, then shows
        // what it holds.
        QTreeWidgetItem* empty = home->child(1);
        QTreeWidgetItem* p = tree.currentItem()->child(2);
        QVERIFY(QDir().mkdir(Home + "/m/p/q"));
        QCOMPARE(empty->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        tree.show();
        QTRY_COMPARE(empty->childIndicatorPolicy(),
                     QTreeWidgetItem::DontShowIndicatorWhenChildless);
        QCOMPARE(p->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QVERIFY(QDir().mkdir(Home + "/m/n/later"));
        QTreeWidgetItem* n = tree.currentItem()->child(0);
        tree.RefreshAll();
        QCOMPARE(n->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QVERIFY(QDir(Home + "/m/n/later").removeRecursively());
        n->setExpanded(true);
        QCOMPARE(n->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
        QVERIFY(!n->isExpanded());
    }

    // Whether a folder has subfolders agrees with its listing, links to
    // folders included, so that every listed folder can be opened.
    void subfoldersAgreeWithListing() {
        Dirs({"t/real/sub", "t/links", "t/fileLink", "t/leaf"});
        QVERIFY(QFile::link(Home + "/t/real", Home + "/t/links/toReal"));
        QVERIFY(QFile::link(Box->writeFile("home/t/f.txt", "x"), Home + "/t/fileLink/toFile"));
        TShellTreeView& tree = MakeTree();
        QVERIFY(tree.SelectPath(Home + "/t"));
        const QList<std::pair<QString, bool>> rows = {
            {"fileLink", false}, {"leaf", false}, {"links", true}, {"real", true}};
        QTreeWidgetItem* t = tree.currentItem();
        t->setExpanded(true);
        QCOMPARE(t->childCount(), int(rows.size()));
        for (int i = 0; i < t->childCount(); ++i) {
            QTreeWidgetItem* node = t->child(i);
            QCOMPARE(node->text(0), rows[i].first);
            QCOMPARE(TShellTreeView::ItemOf(node)->HasAttribute(SFGAO_HASSUBFOLDER),
                     rows[i].second);
            node->setExpanded(true);
            QCOMPARE(node->childCount() > 0, rows[i].second);
        }
    }

    // A label cut by the edge shows its whole name as a tool tip; the
    // rename box is a framed edit box over the label.
    void cutLabelsAndRenameBox() {
        QString deep = Home;
        for (int i = 1; i <= 8; ++i)
            deep += QStringLiteral("/folder-%1").arg(i);
        QVERIFY(QDir().mkpath(deep));
        TShellTreeView& tree = MakeTree();
        tree.resize(150, 300);
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        QVERIFY(tree.SelectPath(deep));
        QTreeWidgetItem* node = tree.currentItem();
        QTRY_VERIFY(tree.viewport()->rect().contains(tree.LabelRect(node)));
        QTreeWidgetItem* cut = node;
        while (cut && (tree.LabelRect(cut).isEmpty() || tree.LabelRect(cut).left() > 0))
            cut = cut->parent();
        QVERIFY(cut);
        for (QTreeWidgetItem* hovered : {cut, node}) {
            const QPoint at = tree.LabelRect(hovered).center();
            QHelpEvent help(QEvent::ToolTip, at, tree.viewport()->mapToGlobal(at));
            QApplication::sendEvent(tree.viewport(), &help);
            if (hovered == cut)
                QTRY_COMPARE(QToolTip::text(), cut->text(0));
            else
                QTRY_VERIFY(!QToolTip::isVisible());
        }

        tree.editItem(node);
        auto* box = tree.findChild<QLineEdit*>();
        QVERIFY(box && box->isVisible() && box->hasFrame() && box->autoFillBackground());
        QCOMPARE(box->backgroundRole(), QPalette::Base);
        QVERIFY(box->geometry().intersects(tree.LabelRect(node)));
        QVERIFY(box->width() > box->fontMetrics().horizontalAdvance(node->text(0)));
        tree.closePersistentEditor(node);

        // Dotted lines lead across to each folder's label.
        const auto dots = [&] {
            tree.horizontalScrollBar()->setValue(0);
            const QImage shot = tree.viewport()->grab().toImage();
            const QRect r = tree.visualItemRect(tree.topLevelItem(0)->child(0)->child(0));
            int n = 0;
            for (int x = std::max(0, r.left() - tree.indentation() / 2); x < r.left(); ++x)
                n += shot.pixel(x, r.center().y()) == tree.palette().color(QPalette::Dark).rgb();
            return n;
        };
        QTRY_VERIFY(dots() >= 2);
    }

    // A network mount that stops answering once its folders were listed:
    // they are drawn from the listing, and opening one or a path on it gives
    // up after the drive check's time-out (the server never answers before
    // the end of the test).
    void deadNetworkMountDoesNotFreeze() {
        Box->makeDir("mnt/net/share/leaf");
        Fake->DriveTimeout = 200;
        auto dead = std::make_shared<std::atomic<bool>>(false);
        auto open = std::make_shared<std::atomic<bool>>(false);
        Fake->OnProbeDrive = [dead, open](const QString&) {
            while (*dead && !*open)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
        TShellTreeView& tree = MakeTree();
        QVERIFY(tree.SelectPath(Net + "/share"));
        tree.currentItem()->setExpanded(true);
        QTreeWidgetItem* leaf = tree.currentItem()->child(0);
        QVERIFY(leaf);
        *dead = true;
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        tree.viewport()->repaint();
        QCOMPARE(leaf->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        leaf->setExpanded(true);
        QCOMPARE(leaf->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
        QVERIFY(!tree.SelectPath(Net + "/share/leaf"));
        *open = true; // the hook held the probes until here: nothing waited on them
    }
};

QTEST_MAIN(TestShellTree)
#include "test_shelltree.moc"
