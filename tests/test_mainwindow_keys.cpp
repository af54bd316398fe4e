// Keys in a real main window: sorting keys faster than the window act on the
// picture on show, the keys go to the file list, the tree ignores typing.
#include "app/MainRules.h"
#include "settings/Settings.h"
#include "shelltree/ShellCtrls.h"
#include "support/MainWindowFixture.h"
#include "toolkit/Picture.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

namespace {
QString Ini(const QString& pics, const QString& out, const QString& action) {
    return QStringLiteral("[PATH]\nPath1=%1\nCurrentPath=%2\n[ACTION]\n%3\n")
        .arg(out, pics, action);
}

// Whether list, picture and status bar tell the same file (pNN is 40+NN wide).
bool Agree(TMainWindowFixture& f) {
    TfrmVelmo& w = *f.Form;
    const int s = w.lstFile->currentRow();
    if (s < 0)
        return w.ShownIndex == -1 && f.Panel(1).isEmpty();
    const QString name = w.lstFile->item(s)->text();
    const QString size = PictureSizeText(40 + name.mid(1, 2).toInt(), 30 + name.mid(1, 2).toInt());
    return w.ShownIndex == s && f.Panel(1).endsWith("/" + name) && f.Panel(2) == size &&
           PictureSizeText(w.Picture().Width(), w.Picture().Height()) == size;
}
} // namespace

class TestMainWindowKeys : public QObject {
    Q_OBJECT
private slots:
    // Keys queued faster than a move and the next load: 1 held down, and N
    // and 1 in quick turns. Each may arrive inside a step's message handling.
    void keyStormSortsWhatIsShown_data() {
        QTest::addColumn<QList<int>>("keys");
        QTest::newRow("1 held") << QList<int>{Qt::Key_1};
        QTest::newRow("N and 1") << QList<int>{Qt::Key_N, Qt::Key_1};
    }
    void keyStormSortsWhatIsShown() {
        QFETCH(QList<int>, keys);
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        f.MakePictures(100);
        f.WriteIni(Ini(f.Pics, out, "Mode=1\nMove=0\nOverWrite=0"));
        TfrmVelmo& w = f.Open();
        int sent = 0, disagreed = 0;
        QTimer repeat;
        connect(&repeat, &QTimer::timeout, [&] {
            disagreed += !w.Busy() && !Agree(f);
            if (sent == 240)
                return repeat.stop();
            const auto key = Qt::Key(keys[sent++ % keys.size()]);
            QMetaObject::invokeMethod(
                w.lstFile, [&w, key] { QTest::keyClick(w.lstFile, key); }, Qt::QueuedConnection);
        });
        repeat.start(2);
        QTRY_VERIFY_WITH_TIMEOUT(!repeat.isActive() && !w.Busy(), 60000);
        QCOMPARE(disagreed, 0);
        QVERIFY(Agree(f));
        const QStringList listed = f.ListItems();
        QVERIFY(listed.size() < 100 && w.LastIndex == listed.size() - 1);
        for (int i = 0; i < 100; ++i) {
            const QString name = QStringLiteral("p%1.bmp").arg(i, 2, 10, QLatin1Char('0'));
            QCOMPARE(QFile::exists(f.Pics + "/" + name), listed.contains(name));
            QCOMPARE(QFile::exists(out + "/" + name), !listed.contains(name));
        }
        QVERIFY(f.Errors.isEmpty() && f.FileErrors.isEmpty());
    }

    // A key that comes while the next picture loads: a digit sorts that
    // picture once it shows; one that came while the file before it moved
    // is refused aloud; a pane toggle, dropped, keeps its mark with the pane.
    void keyWhileBusy_data() {
        QTest::addColumn<QKeyCombination>("key");
        QTest::addColumn<bool>("inLoad");
        QTest::addColumn<QStringList>("sorted"); // into the second folder
        QTest::newRow("digit in load")
            << QKeyCombination(Qt::Key_2) << true << QStringList{"p01.bmp"};
        QTest::newRow("digit in move") << QKeyCombination(Qt::Key_2) << false << QStringList();
        QTest::newRow("Ctrl+T in load") << (Qt::CTRL | Qt::Key_T) << true << QStringList();
    }
    void keyWhileBusy() {
        QFETCH(QKeyCombination, key);
        QFETCH(bool, inLoad);
        QFETCH(QStringList, sorted);
        TMainWindowFixture f;
        const QString out1 = f.Sandbox.makeDir("out1"), out2 = f.Sandbox.makeDir("out2");
        f.MakePictures(3);
        f.WriteIni(Ini(f.Pics, out1 + "\nPath2=" + out2, "Mode=1\nMove=0"));
        TfrmVelmo& w = f.Open();
        bool armed = true, sent = false;
        const auto send = [&] {
            QMetaObject::invokeMethod(
                &w,
                [&] {
                    QTest::keyClick(w.lstFile, key.key(), key.keyboardModifiers()), sent = true;
                },
                Qt::QueuedConnection);
        };
        // The next item is selected before its picture loads.
        connect(w.lstFile->selectionModel(), &QItemSelectionModel::currentChanged, &w, [&] {
            if (inLoad && std::exchange(armed, false))
                send();
        });
        if (!inLoad)
            send();
        QTest::keyClick(w.lstFile, Qt::Key_1);
        QTRY_VERIFY_WITH_TIMEOUT(sent && !w.Busy(), 5000);
        QCOMPARE(QDir(out1).entryList(QDir::Files) + QDir(out2).entryList(QDir::Files),
                 QStringList{"p00.bmp"} + sorted);
        const auto* notice = w.staMain->findChild<QLabel*>("staNotice");
        QCOMPARE(notice && !notice->isHidden(), !inLoad);
        QVERIFY(w.actTree->isChecked() == (IniRec.Tree != 0) && f.Errors.isEmpty());
    }

    // The keys are the list's at start and after each picture, error box and
    // question box; P, N, D and digits are the window's even while they can
    // do nothing; the tree moves by arrow keys, never by typing, and a
    // hidden tree keeps no keys.
    void keysGoToTheListNotToTheTree() {
        TMainWindowFixture f;
        for (const char* dir : {"a", "d1", "n1", "p1", "x", "z9", "out"})
            f.Sandbox.makeDir(dir);
        f.MakePictures(2);
        f.Sandbox.writeFile("pics/p02.bmp", "broken");
        f.WriteIni(Ini(f.Pics, f.Sandbox.filePath("out"), "Mode=1\nMove=1"));
        TfrmVelmo& w = f.Open();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(QApplication::focusWidget(), w.lstFile);
        QTRY_VERIFY(w.stvMain->model()->rowCount(w.stvMain->currentIndex().parent()) >= 9);
        const QString folder = IniRec.CurrentPath;
        const auto typed = [&](const char* keys, QWidget* to) {
            to->setFocus();
            QTest::keyClicks(to, keys);
            return w.stvMain->SelectedPath() == folder && IniRec.CurrentPath == folder;
        };
        QVERIFY(typed("paxz*+2", w.stvMain)); // P on the first picture, letters, no slot 3
        QVERIFY(typed("p", w.lstFile) && w.lstFile->currentRow() == 0);
        const auto focusedAfter = [&](const char* keys) {
            return typed(keys, w.stvMain) && QApplication::focusWidget() == w.lstFile;
        };
        QVERIFY(focusedAfter("n"));                         // a picture
        QVERIFY(focusedAfter("n") && f.Errors.size() == 1); // an error box
        QVERIFY(typed("n", w.stvMain));                     // N on the last picture
        w.actTree->trigger();
        QCOMPARE(QApplication::focusWidget(), w.lstFile);
        QVERIFY(typed("zx", w.stvMain) && w.lstFile->count() == 3);
        w.actTree->trigger();
        f.Answers = {7};
        QVERIFY(focusedAfter("1") && f.Asked.size() == 1); // a question box
        for (int i = 0; i < 3; ++i)
            w.actDelete->trigger();
        QVERIFY(typed("d", w.stvMain) && w.lstFile->count() == 0); // D on an empty list
        w.stvMain->setFocus();
        QTest::keyClick(w.stvMain, Qt::Key_Down);
        QTRY_VERIFY(IniRec.CurrentPath != folder &&
                    IniRec.CurrentPath == w.stvMain->SelectedPath());
    }

    // The menus' shortcut column names every key of a command.
    void menusShowEveryKey() {
        TMainWindowFixture f;
        QString column;
        for (QMenu* menu : {f.Open().mnuFile, f.Form->mnuView})
            for (QAction* item : menu->actions())
                column += item->text().section('\t', 1) + item->shortcut().toString() + ", ";
        for (TViewerCommand c : {vcPrev, vcNext, vcFirst, vcLast, vcDelete, vcFullScreen})
            for (const QKeySequence& key : ViewerKeys(c))
                QVERIFY2(column.contains(key.toString() + ", "), qPrintable(column));
    }
};

QTEST_MAIN(TestMainWindowKeys)
#include "test_mainwindow_keys.moc"
