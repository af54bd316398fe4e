#include "platform/FileOperation.h"
#include "platform/MessageBox.h"
#include "platform/ShellNamespace.h"
#include "shelltree/ShellCtrls.h"
#include "support/FileOpsTestSupport.h"

#include <QApplication>
#include <QMimeData>
#include <QtTest>

#include <sys/mount.h>
#include <unistd.h>

using TActions = Qt::DropActions;
Q_DECLARE_METATYPE(Qt::KeyboardModifiers)
static bool PrivateMounts = false; // bind mounts can be made

// The tree over a sandbox home: pressing and dragging its folders, and drops
// of files and folders on them.
class TestShellDrop : public QObject {
    Q_OBJECT
    std::unique_ptr<TSandbox> Box;
    TFakePlatformScope Fake;
    std::unique_ptr<TShellTreeView> Tree;
    QStringList Errors;
    QString Home;
    int Asked = 0;

    QTreeWidgetItem* Node(const QString& path) {
        Tree->SelectPath(path);
        return Tree->currentItem();
    }
    QPoint At(QTreeWidgetItem* node) { return Tree->LabelRect(node).center(); }
    void Mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, pos, Tree->viewport()->mapToGlobal(pos), button, held, {});
        QApplication::sendEvent(Tree->viewport(), &event);
    }
    // Drags data of one format over `node` (`reports` times) and drops it;
    // the answer.
    Qt::DropAction Drop(QTreeWidgetItem* node, const QByteArray& bytes, int reports = 1,
                        bool drop = true, const char* format = "text/uri-list") {
        QMimeData data;
        data.setData(format, bytes);
        const QPoint pos = At(node);
        const TActions all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QDragEnterEvent enter(pos, all, &data, Qt::LeftButton, {});
        QApplication::sendEvent(Tree->viewport(), &enter);
        QDragMoveEvent move(pos, all, &data, Qt::LeftButton, {});
        for (int i = 0; i < reports && enter.isAccepted(); ++i)
            QApplication::sendEvent(Tree->viewport(), &move);
        QDropEvent event(pos, all, &data, Qt::NoButton, {});
        QDragLeaveEvent leave;
        if (drop && move.isAccepted())
            QApplication::sendEvent(Tree->viewport(), &event);
        else
            QApplication::sendEvent(Tree->viewport(), &leave);
        return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
    }

    // Questions get `answer` and are counted; other boxes get OK.
    void Answer(int answer) {
        Fake->OnMessageBox = [this, answer](const QString&, const QString&, int flags) {
            return flags == mbQuestionYesNoNoAll ? (++Asked, answer) : idOk;
        };
    }
    // Drops paths on the folder at `target` and waits until the work is done.
    void DropPaths(const QString& target, const QStringList& items) {
        Drop(Node(target), UriList(items));
        QTRY_VERIFY(Tree->DropTargetsInUse.empty());
    }

private slots:
    void init() {
        Asked = 0;
        Box = std::make_unique<TSandbox>();
        Home = Box->makeDir("home");
        qputenv("HOME", QFile::encodeName(Home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Box->makeDir("config")));
        PrepareFileOpTest(Fake, Errors);
        Answer(idNo); // an unforeseen question fails a check, never hangs
        Tree = std::make_unique<TShellTreeView>();
        Tree->resize(400, 600);
        Tree->Loaded();
        Tree->show();
    }
    void cleanup() { Tree.reset(); }

    void effectRules_data() {
        QTest::addColumn<TActions>("allowed");
        QTest::addColumn<Qt::KeyboardModifiers>("keys");
        QTest::addColumn<bool>("same");
        QTest::addColumn<Qt::DropAction>("effect");
        const TActions all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        const Qt::KeyboardModifiers none, ctrl(Qt::ControlModifier), shift(Qt::ShiftModifier);
        QTest::newRow("one filesystem moves") << all << none << true << Qt::MoveAction;
        QTest::newRow("across copies") << all << none << false << Qt::CopyAction;
        QTest::newRow("ctrl copies") << all << ctrl << true << Qt::CopyAction;
        QTest::newRow("shift moves across") << all << shift << false << Qt::MoveAction;
        QTest::newRow("ctrl+shift links") << all << (ctrl | shift) << true << Qt::LinkAction;
        QTest::newRow("no move: copy")
            << TActions(Qt::CopyAction | Qt::LinkAction) << none << true << Qt::CopyAction;
        QTest::newRow("shift without move")
            << TActions(Qt::CopyAction) << shift << true << Qt::IgnoreAction;
        QTest::newRow("only link") << TActions(Qt::LinkAction) << none << false << Qt::LinkAction;
    }
    void effectRules() {
        QFETCH(TActions, allowed);
        QFETCH(Qt::KeyboardModifiers, keys);
        QFETCH(bool, same);
        QTEST(ChooseDropEffect(allowed, keys, same), "effect");
    }

    // A press marks, the release selects; a drag starts past 5 pixels; the
    // root never takes the right button. Resting on a collapsed folder opens
    // it at the 32nd report in a row.
    void pressDragAndHover() {
        Box->makeDir("home/a");
        Box->makeDir("home/c/d");
        QTreeWidgetItem* a = Node(Home + "/a");
        QTreeWidgetItem* root = Tree->topLevelItem(0);
        Tree->setCurrentItem(root);
        int begun = 0;
        Tree->OnShBeginDrag = [&](TShellTreeView*, QTreeWidgetItem*, QPoint, int, int, bool& can) {
            ++begun;
            can = false;
        };
        const QPoint p = At(a);
        Mouse(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(Tree->DropHighlighted(), a);
        QCOMPARE(Tree->currentItem(), root);
        for (const auto& [dx, dy, count] :
             {std::tuple{5, 0, 0}, {0, -5, 0}, {6, 0, 1}, {0, 6, 2}}) {
            Mouse(QEvent::MouseMove, p + QPoint(dx, dy), Qt::NoButton, Qt::LeftButton);
            QCOMPARE(begun, count);
        }
        Mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(Tree->currentItem(), a);
        QCOMPARE(Tree->DropHighlighted(), nullptr);
        Mouse(QEvent::MouseButtonPress, At(root), Qt::RightButton, Qt::RightButton);
        QCOMPARE(Tree->MouseMode, 0);
        QCOMPARE(Tree->DropHighlighted(), nullptr);
        Mouse(QEvent::MouseButtonRelease, At(root), Qt::RightButton, Qt::NoButton);
        QCOMPARE(Tree->currentItem(), a);

        QTreeWidgetItem* c = Node(Home + "/c");
        const QByteArray file = UriList({Box->writeFile("f.txt", "x")});
        Drop(c, file, 31, false);
        QVERIFY(!c->isExpanded());
        Drop(c, file, 32, false);
        QVERIFY(c->isExpanded());
        QCOMPARE(c->child(0)->text(0), QStringLiteral("d"));
    }

    // Folders from outside land through the file service, moved on one
    // filesystem and copied across, and the source hears of no more than a
    // copy; the trash takes a folder as a move into the trash.
    void dropsFromOutside() {
        TShmSandbox shm;
        const QByteArray photo = RandomBytes(300000);
        Box->makeDir("home/dst/sub");
        Box->writeFile("src/album/deep/p.jpg", photo);
        QCOMPARE(Drop(Node(Home + "/dst"), UriList({Box->filePath("src/album")})), Qt::CopyAction);
        QTRY_COMPARE(ReadAll(Home + "/dst/album/deep/p.jpg"), photo);
        QVERIFY(!QFileInfo::exists(Box->filePath("src/album")));
        QTRY_VERIFY(Tree->DropTargetsInUse.empty()); // let go once the work is done

        qputenv("XDG_DATA_HOME", QFile::encodeName(Box->makeDir("data")));
        QCOMPARE(Drop(Tree->topLevelItem(0)->child(3), UriList({Home + "/dst/sub"})),
                 Qt::CopyAction);
        QTRY_VERIFY(QFileInfo(Box->filePath("data/Trash/files/sub")).isDir());

        if (!OnDifferentDevices(Box->path(), shm.path()))
            QSKIP("no second filesystem");
        QDir().mkpath(shm.filePath("card/dcim"));
        QFile card(shm.filePath("card/dcim/q.jpg"));
        QVERIFY(card.open(QIODevice::WriteOnly) && card.write(photo) == photo.size());
        card.close();
        QCOMPARE(Drop(Node(Home + "/dst"), UriList({shm.filePath("card")})), Qt::CopyAction);
        QTRY_COMPARE(ReadAll(Home + "/dst/card/dcim/q.jpg"), photo);
        QCOMPARE(ReadAll(shm.filePath("card/dcim/q.jpg")), photo);
        QCOMPARE(Errors, QStringList());
    }

    // Refused, and nothing moves: a web address, a folder into itself
    // or its own subfolder, onto its own folder, a path that is gone, one
    // ending in ".", a name that cannot be. A long drag is answered from its
    // first items and checked whole on the drop: one bad item far down the
    // list keeps every item in place.
    void refused_data() {
        QTest::addColumn<QString>("kind");   // what the drag carries
        QTest::addColumn<QString>("source"); // in the sandbox
        QTest::addColumn<QString>("target"); // in the home folder
        // clang-format off
        QTest::newRow("web address") << "web" << "" << "dst";
        QTest::newRow("into itself") << "uri" << "home/dst" << "dst";
        QTest::newRow("into its subfolder") << "uri" << "home/dst" << "dst/album/deep";
        QTest::newRow("onto its own folder") << "uri" << "home/dst/album" << "dst";
        QTest::newRow("gone") << "uri" << "gone" << "dst";
        QTest::newRow("ending in a dot") << "uri" << "src/." << "dst/album";
        QTest::newRow("NUL in a name") << "ids" << "" << "dst";
        QTest::newRow("bad item far down") << "many" << "home/dst" << "dst/album";
        // clang-format on
    }
    void refused() {
        QFETCH(QString, kind);
        QFETCH(QString, source);
        QFETCH(QString, target);
        Box->writeFile("home/dst/album/deep/p.jpg", "p");
        const QString file = Box->writeFile("src/a.jpg", "a");
        const QString from = Box->filePath(source);
        const ItemIDList cut =
            ConcatIDLists(PathToIDList(Box->path()), MakeIDList(sikEntry, QByteArray("src\0x", 5)));
        const QByteArray bytes = kind == "web"    ? QByteArray("https://example.com/a.jpg\r\n")
                                 : kind == "ids"  ? IDListArray({cut})
                                 : kind == "many" ? UriList(QStringList(40, file) << from)
                                                  : UriList({from});
        const char* format = kind == "ids" ? kShellIDListType : "text/uri-list";
        QCOMPARE(Drop(Node(Home + "/" + target), bytes, 1, true, format),
                 kind == "many" ? Qt::CopyAction : Qt::IgnoreAction);
        QTRY_VERIFY(Tree->DropTargetsInUse.empty());
        QCOMPARE(Leftovers(Home + "/dst", {"album"}) + Leftovers(Home + "/dst/album", {"deep"}),
                 QStringList());
        QCOMPARE(ReadAll(Home + "/dst/album/deep/p.jpg") + ReadAll(file), QByteArray("pa"));
        QCOMPARE(Asked, 0);
    }

    // A name already in the target is replaced only on Yes, the old file
    // going to the trash; "すべていいえ" and "すべてはい" answer the rest of
    // the drop's questions. What is not replaced stays where it was.
    void answers_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("questions");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("no") << int(idNo) << 3 << false;
        QTest::newRow("yes") << int(idYes) << 3 << true;
        QTest::newRow("no to all") << int(idNoAll) << 1 << false;
        QTest::newRow("yes to all") << int(idYesAll) << 1 << true;
    }
    void answers() {
        QFETCH(int, answer);
        QFETCH(int, questions);
        QFETCH(bool, replaced);
        qputenv("XDG_DATA_HOME", QFile::encodeName(Box->makeDir("data")));
        QStringList items;
        for (const QString name : {"a.jpg", "b.jpg", "c.jpg"}) {
            items << Box->writeFile("src/" + name, "new");
            Box->writeFile("home/dst/" + name, "old");
        }
        Answer(answer);
        DropPaths(Home + "/dst", items);
        QCOMPARE(Asked, questions);
        for (const QString& item : items) {
            QCOMPARE(ReadAll(Home + "/dst/" + QFileInfo(item).fileName()),
                     QByteArray(replaced ? "new" : "old"));
            QCOMPARE(ReadAll(item), QByteArray(replaced ? "<missing>" : "new"));
            QCOMPARE(ReadAll(Box->filePath("data/Trash/files/" + QFileInfo(item).fileName())),
                     QByteArray(replaced ? "old" : "<missing>"));
        }
        QCOMPARE(Errors, QStringList());
    }

    // Two items of one name in one drop meet in the target as an item on the
    // disk would: the replace question, No keeping the first; a folder that
    // comes twice is merged, its files asked about one by one.
    void sameNamesInOneDrop() {
        for (const char* cam : {"camA", "camB"}) {
            Box->writeFile(QString("%1/IMG_0001.JPG").arg(cam), cam);
            Box->writeFile(QString("%1/DCIM/x.jpg").arg(cam), cam);
        }
        Box->makeDir("home/dst");
        DropPaths(Home + "/dst", {Box->filePath("camA/IMG_0001.JPG"), Box->filePath("camA/DCIM"),
                                  Box->filePath("camB/IMG_0001.JPG"), Box->filePath("camB/DCIM")});
        QCOMPARE(Asked, 2);
        QCOMPARE(ReadAll(Home + "/dst/IMG_0001.JPG"), QByteArray("camA"));
        QCOMPARE(ReadAll(Home + "/dst/DCIM/x.jpg"), QByteArray("camA"));
        QCOMPARE(ReadAll(Box->filePath("camB/IMG_0001.JPG")), QByteArray("camB"));
        QCOMPARE(ReadAll(Box->filePath("camB/DCIM/x.jpg")), QByteArray("camB"));

        // A name that turns up in the target while the work runs (another
        // program's file, or one the target takes for the same without
        // regard to case) is never replaced: the item stays and is named.
        const QString late = Box->writeFile("camC/late.jpg", "ours");
        Fake->OnFileOpFault = [](TFileOpStep step, const QString& path) {
            if (QFile file(path); step == fosRename && path.endsWith("/late.jpg"))
                (void)(file.open(QIODevice::WriteOnly) && file.write("theirs"));
            return 0;
        };
        DropPaths(Home + "/dst", {late});
        QCOMPARE(ReadAll(Home + "/dst/late.jpg"), QByteArray("theirs"));
        QCOMPARE(ReadAll(late), QByteArray("ours"));
        QVERIFY(Errors.size() == 1 && Errors[0].contains(SystemReason(EEXIST)));
    }

    // A drop goes on past the items that fail and names them once, in one box
    // with the system's reason.
    void failuresNamedOnce() {
        QStringList items;
        for (const QString name : {"a.jpg", "b.jpg", "c.jpg"})
            items << Box->writeFile("src/" + name, "x");
        Box->makeDir("home/dst");
        Fake->OnFileOpFault = [](TFileOpStep step, const QString& path) {
            return step == fosRename && (path.endsWith("/a.jpg") || path.endsWith("/c.jpg"))
                       ? EACCES
                       : 0;
        };
        DropPaths(Home + "/dst", items);
        QCOMPARE(ReadAll(Home + "/dst/b.jpg"), QByteArray("x"));
        QCOMPARE(Errors.size(), 1);
        for (const QString& failed : {items[0], items[2]})
            QVERIFY(Errors[0].contains(failed + " (" + SystemReason(EACCES)));
    }

    // Another mount of a folder is that folder: nothing goes into itself,
    // and nothing dropped onto itself is lost.
    void bindMounts() {
        if (!RunsAsRoot())
            return;
        if (!PrivateMounts)
            QSKIP(NoPrivateMounts);
        Box->writeFile("home/s/al/x.jpg", "x");
        Box->writeFile("home/c/f.jpg", "f");
        QVERIFY(QFile::link("x.jpg", Home + "/s/al/l"));
        QVERIFY(QDir().mkpath(Home + "/a/sub") && QDir().mkpath(Home + "/a/deep/a"));
        const QStringList binds = {"a", "b", "a/deep", "m", "s/al", "t/al"};
        for (qsizetype i = 0; i < binds.size(); i += 2)
            QVERIFY(QDir().mkpath(Home + "/" + binds[i + 1]) &&
                    ::mount(qPrintable(Home + "/" + binds[i]),
                            qPrintable(Home + "/" + binds[i + 1]), nullptr, MS_BIND, nullptr) == 0);
        const auto unmount = qScopeGuard([&] {
            for (qsizetype i = 1; i < binds.size(); i += 2)
                ::umount2(qPrintable(Home + "/" + binds[i]), MNT_DETACH);
        });
        Answer(idYes);
        QCOMPARE(Drop(Node(Home + "/b/sub"), UriList({Home + "/a"})), Qt::IgnoreAction);
        QCOMPARE(Drop(Node(Home + "/b"), UriList({Home + "/a/sub"})), Qt::IgnoreAction);
        Drop(Node(Home + "/m"), UriList({Home + "/a"})); // m is a/deep: refused
        Drop(Node(Home + "/t"), UriList({Home + "/s/al"}));
        Drop(Node(Home + "/b/sub"), UriList({Home + "/c"})); // moved across the mounts
        QTRY_VERIFY(Tree->DropTargetsInUse.empty());
        QVERIFY(QFileInfo(Home + "/a/sub").isDir() && !QFileInfo::exists(Home + "/a/deep/a/sub"));
        QVERIFY(QFileInfo(Home + "/s/al/l").isSymLink());
        QVERIFY(QFileInfo(Home + "/a/sub/c/f.jpg").isFile() && !QFileInfo::exists(Home + "/c"));
    }
};

int main(int argc, char** argv) {
    // As root (of the system or of a user namespace) the tests get mounts of
    // their own; they go with the process.
    PrivateMounts = TakePrivateMounts();
    QApplication app(argc, argv);
    TestShellDrop test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "test_shelldrop.moc"
