// Undo and redo in the main window: the edit menu's captions, the list and
// the view following the files, and a step that fails leaving the list alone.
#include "platform/FileOperation.h"
#include "support/MainWindowFixture.h"

#include <QAction>
#include <QListWidget>
#include <QMenuBar>
#include <QToolButton>
#include <QtTest>

#include <cerrno>

class TestMainWindowUndo : public QObject {
    Q_OBJECT
private slots:
    void undoAndRedoFollowTheList() {
        // Four pictures in move mode, slot 0 on `out`, no questions, deletes
        // to the trash.
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        f.MakePictures(4);
        f.WriteIni(QStringLiteral("[PATH]\nTitle0=Out\nPath0=%1\nCurrentPath=%2\n[ACTION]\n"
                                  "Mode=1\nMove=0\nDelete=0\nTrash=1\n")
                       .arg(out, f.Pics));
        TfrmVelmo& w = f.Open();
        QCOMPARE(w.menuBar()->actions().value(1)->text(), QString("編集(&E)"));
        QVERIFY(!w.actUndo->isEnabled() && !w.actRedo->isEnabled());

        w.lstFile->setCurrentRow(1);
        QTest::keyClick(w.lstFile, Qt::Key_0); // p01 moves out
        w.actDelete->trigger();                // p02 goes to the trash
        QCOMPARE(f.ListItems(), QStringList({"p00.bmp", "p03.bmp"}));
        QCOMPARE(w.actUndo->text(), QString("元に戻す: p02.bmp の削除"));

        QTest::keyClick(w.lstFile, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f.ListItems(), QStringList({"p00.bmp", "p02.bmp", "p03.bmp"}));
        QCOMPARE(w.ShownIndex, 1);
        QVERIFY(f.Panel(1).endsWith("p02.bmp"));
        QCOMPARE(w.actUndo->text(), QString("元に戻す: p01.bmp の移動"));
        QCOMPARE(w.actRedo->text(), QString("やり直し: p02.bmp の削除"));
        w.actUndo->trigger();
        QCOMPARE(f.ListItems(), QStringList({"p00.bmp", "p01.bmp", "p02.bmp", "p03.bmp"}));
        QCOMPARE(w.ShownIndex, 1);
        QCOMPARE(w.LastIndex, 3);
        QCOMPARE(f.Panel(0), QString("4 Files"));
        QVERIFY(!QFile::exists(out + "/p01.bmp"));
        QVERIFY(!w.actUndo->isEnabled());

        // Redo takes the file out again as a move does: the next one shows.
        QTest::keyClick(w.lstFile, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(f.ListItems(), QStringList({"p00.bmp", "p02.bmp", "p03.bmp"}));
        QVERIFY(f.Panel(1).endsWith("p02.bmp"));
        QTest::keyClick(w.lstFile, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.ListItems(), QStringList({"p00.bmp", "p03.bmp"}));
        QVERIFY(f.Asked.isEmpty());
        QVERIFY(f.FileErrors.isEmpty());

        // A move or a trashing that fails is no step: the item stays, shown.
        f.Fake->OnFileOpFault = [](TFileOpStep step, const QString&) {
            return step == fosRename || step == fosTrash ? EACCES : 0;
        };
        const int shown = w.ShownIndex;
        w.spbNo[0]->click();
        w.actDelete->trigger();
        QCOMPARE(f.FileErrors.size(), 2);
        QCOMPARE(f.ListItems(), QStringList({"p00.bmp", "p03.bmp"}));
        QCOMPARE(w.ShownIndex, shown);
        QCOMPARE(w.actUndo->text(), QString("元に戻す: p02.bmp の削除"));

        // A step whose next picture fails to load is still offered for undo.
        f.Fake->OnFileOpFault = nullptr;
        f.Sandbox.writeFile("pics/p03.bmp", "BM broken");
        w.lstFile->setCurrentRow(0);
        QTest::keyClick(w.lstFile, Qt::Key_0);
        QVERIFY(f.Errors.size() == 1 && w.actUndo->isEnabled());
        QCOMPARE(w.actUndo->text(), QString("元に戻す: p00.bmp の移動"));
    }
};

QTEST_MAIN(TestMainWindowUndo)
#include "test_mainwindow_undo.moc"
