// Same-named files in the main window: one list item per group with its
// companions' marks, the status bar naming them, a key and the questions
// taking the whole group, undo bringing it back as one item, and a companion
// added by another program joining its item.
#include "app/FileListDelegate.h"
#include "support/MainWindowFixture.h"

#include <QAction>
#include <QDir>
#include <QListWidget>
#include <QtTest>

class TestMainWindowGroups : public QObject {
    Q_OBJECT
private slots:
    void groupMovesAndComesBackAsOne_data() {
        QTest::addColumn<bool>("trash"); // else a digit key in move mode
        QTest::newRow("digit key") << false;
        QTest::newRow("delete into the trash") << true;
    }
    void groupMovesAndComesBackAsOne() {
        QFETCH(bool, trash);
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        f.MakePictures(2);
        for (const char* name : {"p00.CR2", "p00.xmp", "p00.bmp.xmp", "p01.txt"})
            f.Sandbox.writeFile("pics/" + QString::fromLatin1(name), name);
        QVERIFY(QDir().mkdir(f.Pics + "/p01.cr2")); // a folder joins nothing
        f.WriteIni(QStringLiteral("[PATH]\nTitle0=Out\nPath0=%1\nCurrentPath=%2\n[ACTION]\n"
                                  "Mode=1\nMove=1\nDelete=1\nTrash=1\n")
                       .arg(out, f.Pics));
        TfrmVelmo& w = f.Open();
        QCOMPARE(f.ListItems(), QStringList({"p00.bmp", "p01.bmp"}));
        QCOMPARE(FileItemCompanions(w.lstFile->item(0)),
                 QStringList({"p00.CR2", "p00.bmp.xmp", "p00.xmp"}));
        QVERIFY(FileItemCompanions(w.lstFile->item(1)).isEmpty());
        QVERIFY(f.Panel(1).endsWith("p00.bmp +CR2 +bmp.xmp +xmp"));

        // One question names the group; every member goes.
        if (trash)
            w.actDelete->trigger();
        else
            QTest::keyClick(w.lstFile, Qt::Key_0);
        QCOMPARE(f.Asked.size(), 1);
        QVERIFY2(f.Asked[0].contains("p00.bmp +CR2 +bmp.xmp +xmp"), qPrintable(f.Asked[0]));
        QCOMPARE(f.ListItems(), QStringList({"p01.bmp"}));
        QCOMPARE(QDir(f.Pics).entryList(QDir::Files), QStringList({"p01.bmp", "p01.txt"}));
        if (!trash)
            QCOMPARE(QDir(out).entryList(QDir::Files).size(), 4);
        QVERIFY(w.actUndo->text().contains("p00.bmp +CR2 +bmp.xmp +xmp"));

        // Undo: every file back, one item with its marks, shown.
        w.actUndo->trigger();
        QCOMPARE(f.ListItems(), QStringList({"p00.bmp", "p01.bmp"}));
        QCOMPARE(FileItemCompanions(w.lstFile->item(0)).size(), 3);
        QCOMPARE(QDir(f.Pics).entryList(QDir::Files).size(), 6);
        QVERIFY(!w.actUndo->isEnabled());
        QVERIFY(f.FileErrors.isEmpty());

        // A raw file written by another program joins its picture's item.
        f.Sandbox.writeFile("pics/p01.NEF", "raw");
        QTRY_COMPARE_WITH_TIMEOUT(FileItemCompanions(w.lstFile->item(1)), QStringList({"p01.NEF"}),
                                  5000);
        QCOMPARE(f.ListItems(), QStringList({"p00.bmp", "p01.bmp"}));
    }
};

QTEST_MAIN(TestMainWindowGroups)
#include "test_mainwindow_groups.moc"
