// Keys in a real main window: a storm of sorting keys acts on the picture on
// show and never inside another step, the keys go to the file list, and the
// tree never changes its folder by typing.
#include "app/MainRules.h"
#include "settings/Settings.h"
#include "shelltree/ShellCtrls.h"
#include "support/MainWindowFixture.h"
#include "toolkit/Picture.h"

#include <QAction>
#include <QListWidget>
#include <QTimer>
#include <QtTest>

namespace {
QString Ini(const QString& pics, const QString& out, const QString& action) {
    return QStringLiteral("[PATH]\nTitle1=Out\nPath1=%1\nCurrentPath=%2\n[ACTION]\n%3\n")
        .arg(out, pics, action);
}

// The picture on show, its status panels and the list agree; p07.bmp is
// 47 x 37 pixels.
QString Disagreement(TMainWindowFixture& f) {
    TfrmVelmo& w = *f.Form;
    const int s = w.lstFile->currentRow();
    if (s < 0)
        return w.ShownIndex == -1 && f.Panel(1).isEmpty() ? QString() : "empty list still shows";
    const QString name = w.lstFile->item(s)->text();
    const int k = name.mid(1, 2).toInt();
    const QString size = PictureSizeText(40 + k, 30 + k);
    if (w.ShownIndex != s || !f.Panel(1).endsWith("/" + name) || f.Panel(2) != size ||
        PictureSizeText(w.Picture().Width(), w.Picture().Height()) != size)
        return QStringLiteral("row %1 (%2) shown %3: %4, %5").arg(s).arg(name).arg(w.ShownIndex)
            .arg(f.Panel(1), f.Panel(2));
    return QString();
}
} // namespace

class TestMainWindowKeys : public QObject {
    Q_OBJECT
private slots:
    // Keys come faster than a move and the next picture take: held down
    // (auto-repeat), and N and 1 in quick turns.
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
        QStringList seen;
        int sent = 0;
        QTimer repeat;
        // Each key is queued, so it may arrive inside a step's own message
        // handling, as a real auto-repeat key does.
        connect(&repeat, &QTimer::timeout, [&] {
            if (!w.Busy() && seen.size() < 20) {
                const QString wrong = Disagreement(f);
                if (!wrong.isEmpty())
                    seen << wrong;
            }
            if (sent == 240) {
                repeat.stop();
                return;
            }
            const auto key = Qt::Key(keys[sent++ % keys.size()]);
            QMetaObject::invokeMethod(
                w.lstFile, [&w, key] { QTest::keyClick(w.lstFile, key); }, Qt::QueuedConnection);
        });
        repeat.start(2);
        QTRY_VERIFY_WITH_TIMEOUT(!repeat.isActive() && !w.Busy(), 60000);
        QVERIFY2(seen.isEmpty(), qPrintable(seen.join('\n')));
        QCOMPARE(Disagreement(f), QString());
        const QStringList listed = f.ListItems();
        QVERIFY(listed.size() < 100);
        QCOMPARE(w.LastIndex, listed.size() - 1);
        for (int i = 0; i < 100; ++i) {
            const QString name = QStringLiteral("p%1.bmp").arg(i, 2, 10, QLatin1Char('0'));
            QCOMPARE(QFile::exists(f.Pics + "/" + name), listed.contains(name));
            QCOMPARE(QFile::exists(out + "/" + name), !listed.contains(name));
        }
        QVERIFY(f.Errors.isEmpty() && f.FileErrors.isEmpty() && f.Asked.isEmpty());
    }

    // The keys are the file list's at start and after every picture, error
    // box and question box; P, N and D are the window's even while disabled,
    // and the tree moves only when told plainly.
    void keysGoToTheListNotToTheTree() {
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        for (const char* dir : {"a", "d1", "n1", "p1", "x", "z9"})
            f.Sandbox.makeDir(dir);
        f.MakePictures(2);
        f.Sandbox.writeFile("pics/p02.bmp", "broken");
        f.WriteIni(Ini(f.Pics, out, "Mode=1\nMove=1"));
        TfrmVelmo& w = f.Open();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(QApplication::focusWidget(), w.lstFile);

        QAbstractItemModel* tree = w.stvMain->model();
        QTRY_VERIFY(tree->rowCount(w.stvMain->currentIndex().parent()) >= 8);
        const QString folder = IniRec.CurrentPath;
        auto typeIntoTree = [&](const QString& keys) {
            w.stvMain->setFocus();
            QTest::keyClicks(w.stvMain, keys);
            return w.stvMain->SelectedPath() == folder && IniRec.CurrentPath == folder;
        };
        QVERIFY(typeIntoTree("p")); // P on the first picture
        QTest::keyClick(w.lstFile, Qt::Key_P); // not the list's type-ahead either
        QCOMPARE(w.lstFile->currentRow(), 0);
        QVERIFY(typeIntoTree("axz*+2"));
        QTest::keyClick(w.stvMain, Qt::Key_N);
        QCOMPARE(QApplication::focusWidget(), w.lstFile); // after a picture
        QTest::keyClick(w.stvMain, Qt::Key_N);
        QCOMPARE(f.Errors.size(), 1);
        QCOMPARE(QApplication::focusWidget(), w.lstFile); // after an error box
        QVERIFY(typeIntoTree("n")); // N on the last picture
        w.actTree->trigger();
        QCOMPARE(QApplication::focusWidget(), w.lstFile); // a hidden tree keeps no keys
        QTest::keyClicks(w.stvMain, "zx9");
        QCOMPARE(IniRec.CurrentPath, folder);
        QCOMPARE(w.lstFile->count(), 3);
        w.actTree->trigger();

        f.Answers = {7}; // No to moving
        w.stvMain->setFocus();
        QTest::keyClick(w.stvMain, Qt::Key_1);
        QCOMPARE(f.Asked.size(), 1);
        QCOMPARE(QApplication::focusWidget(), w.lstFile); // after a question box
        for (int i = 0; i < 3; ++i)
            w.actDelete->trigger();
        QCOMPARE(w.lstFile->count(), 0);
        QVERIFY(typeIntoTree("d")); // D on an empty list

        // Arrow keys are a plain request: the tree moves and the list follows.
        w.stvMain->setFocus();
        QTest::keyClick(w.stvMain, Qt::Key_Down);
        QTRY_VERIFY(IniRec.CurrentPath != folder);
        QCOMPARE(IniRec.CurrentPath, w.stvMain->SelectedPath());
    }
};

QTEST_MAIN(TestMainWindowKeys)
#include "test_mainwindow_keys.moc"
