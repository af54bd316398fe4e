// The sorting loop in a real main window: output folders by button and digit
// key, the questions and their order, what is selected after a move or a
// delete, and nothing lost when the answer is No.
#include "platform/FileAccess.h"
#include "platform/FileName.h"
#include "settings/Settings.h"
#include "support/MainWindowFixture.h"

#include <QAction>
#include <QListWidget>
#include <QStringEncoder>
#include <QToolButton>
#include <QtTest>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString Ini(const QString& pics, const QString& out, const QString& action) {
    return QStringLiteral("[PATH]\nTitle0=Out\nPath0=%1\nCurrentPath=%2\n[ACTION]\n%3\n")
        .arg(out, pics, action);
}
} // namespace

class TestMainWindowSorting : public QObject {
    Q_OBJECT
private slots:
    void moveTakesOutAndShowsNext_data() {
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("expectSelected");
        QTest::addColumn<QString>("expectShown");
        QTest::newRow("last of five") << 4 << 3 << "p03.bmp";
        QTest::newRow("item 1 of five") << 1 << 1 << "p02.bmp";
        QTest::newRow("first of five") << 0 << 0 << "p01.bmp";
    }
    void moveTakesOutAndShowsNext() {
        QFETCH(int, selected);
        QFETCH(int, expectSelected);
        QFETCH(QString, expectShown);
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        f.MakePictures(5);
        f.WriteIni(Ini(f.Pics, out, "Mode=1\nMove=0\nOverWrite=0"));
        TfrmVelmo& w = f.Open();
        w.lstFile->setCurrentRow(selected);
        QCOMPARE(w.ShownIndex, selected);
        const QString moved = w.lstFile->item(selected)->text();
        w.spbNo[0]->click();
        QVERIFY(QFile::exists(out + "/" + moved));
        QVERIFY(!QFile::exists(f.Pics + "/" + moved));
        QCOMPARE(w.lstFile->count(), 4);
        QCOMPARE(w.LastIndex, 3);
        QCOMPARE(w.lstFile->currentRow(), expectSelected);
        QCOMPARE(w.ShownIndex, expectSelected);
        QCOMPARE(w.lstFile->item(expectSelected)->text(), expectShown);
        QVERIFY(f.Panel(1).endsWith(expectShown));
        QCOMPARE(f.Panel(0), QString("4 Files")); // the count follows the list
        QVERIFY(f.Asked.isEmpty());
    }

    void movingTheOnlyItemEmptiesEverything() {
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        f.MakePictures(1);
        f.WriteIni(Ini(f.Pics, out, "Mode=1\nMove=0"));
        TfrmVelmo& w = f.Open();
        QVERIFY(w.actDelete->isEnabled());
        w.spbNo[0]->click();
        QCOMPARE(w.lstFile->count(), 0);
        QCOMPARE(w.ShownIndex, -1);
        QVERIFY(!w.actDelete->isEnabled());
        QVERIFY(!w.actPrev->isEnabled());
        QVERIFY(!w.actNext->isEnabled());
        for (int i = 1; i <= 4; ++i)
            QVERIFY(f.Panel(i).isEmpty());
        QCOMPARE(f.Panel(0), QString("0 Files"));
        QVERIFY(QFile::exists(out + "/p00.bmp"));
    }

    void questionsComeInOrderAndNoKeepsEverything() {
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        f.MakePictures(2);
        QFile::copy(f.Pics + "/p01.bmp", out + "/p00.bmp"); // a different file of the same name
        const QByteArray before = TSandboxRead(out + "/p00.bmp");
        const QByteArray picture = TSandboxRead(f.Pics + "/p00.bmp");
        f.WriteIni(Ini(f.Pics, out, "Mode=1\nMove=1\nOverWrite=1"));
        TfrmVelmo& w = f.Open();

        f.Answers = {6, 7}; // yes to moving, no to overwriting
        w.spbNo[0]->click();
        QCOMPARE(f.Asked.size(), 2);
        QCOMPARE(f.Asked[0], "ヴェルモ！ - 確認|36|移動しますか？\rp00.bmp → " + out);
        QCOMPARE(f.Asked[1], QString("ヴェルモ！ - 確認|36|") + out +
                                 "/p00.bmpは既に存在します。\r上書きしますか？");
        QVERIFY(QFile::exists(f.Pics + "/p00.bmp"));
        QCOMPARE(TSandboxRead(out + "/p00.bmp"), before);
        QCOMPARE(w.lstFile->count(), 2);

        f.Asked.clear();
        f.Answers = {7}; // no to moving: the overwrite question is not asked
        w.spbNo[0]->click();
        QCOMPARE(f.Asked.size(), 1);
        QCOMPARE(w.lstFile->count(), 2);

        f.Asked.clear();
        f.Answers = {6, 6};
        w.spbNo[0]->click();
        QCOMPARE(f.Asked.size(), 2);
        QCOMPARE(TSandboxRead(out + "/p00.bmp"), picture);
        QVERIFY(!QFile::exists(f.Pics + "/p00.bmp"));
        QCOMPARE(w.lstFile->count(), 1);
    }

    void overwriteOffReplacesWithoutAsking() {
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        f.MakePictures(1);
        f.Sandbox.writeFile("out/p00.bmp", "old");
        const QByteArray picture = TSandboxRead(f.Pics + "/p00.bmp");
        f.WriteIni(Ini(f.Pics, out, "Mode=0\nOverWrite=0"));
        TfrmVelmo& w = f.Open();
        w.spbNo[0]->click();
        QVERIFY(f.Asked.isEmpty());
        QCOMPARE(TSandboxRead(out + "/p00.bmp"), picture);
        // Copy mode leaves the list and the picture on show alone.
        QCOMPARE(w.lstFile->count(), 1);
        QCOMPARE(w.ShownIndex, 0);
        QVERIFY(QFile::exists(f.Pics + "/p00.bmp"));
    }

    void checksWarnBeforeAnything() {
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        f.MakePictures(2);
        f.WriteIni(Ini(f.Pics, out, "Mode=1\nMove=1"));
        TfrmVelmo& w = f.Open();
        QVERIFY(QDir(out).removeRecursively()); // the folder vanished after setting up
        w.spbNo[0]->click();
        QCOMPARE(
            f.Asked,
            QStringList("ヴェルモ！ - "
                        "警告|48|出力するフォルダが存在しません。\r設定を確認してください。\r" +
                        out));
        QCOMPARE(w.lstFile->count(), 2);

        f.Asked.clear();
        w.lstFile->clearSelection();
        w.spbNo[0]->click();
        QCOMPARE(f.Asked, QStringList("ヴェルモ！ - 警告|48|出力するファイルを選択してください。"));
    }

    void deleteAsksByTrashSetting() {
        TMainWindowFixture f;
        f.MakePictures(3);
        f.WriteIni(Ini(f.Pics, QString(), "Delete=1\nTrash=0"));
        TfrmVelmo& w = f.Open();
        f.Answers = {7};
        w.actDelete->trigger();
        const QString p = f.Pics + "/p00.bmp";
        QCOMPARE(f.Asked.last(), QString("ヴェルモ！ - 確認|292|") + p +
                                     "\rを削除すると元に戻せません。\r削除しますか？");
        QVERIFY(QFile::exists(p));
        QCOMPARE(w.lstFile->count(), 3);

        w.actDelete->trigger(); // answered Yes: gone for good, not in the trash
        QVERIFY(!QFile::exists(p));
        QVERIFY(!QFile::exists(qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files/p00.bmp"));
        QCOMPARE(w.lstFile->count(), 2);
        QCOMPARE(w.lstFile->currentRow(), 0);

        IniRec.Trash = 1;
        f.Asked.clear();
        w.actDelete->trigger();
        QCOMPARE(f.Asked.last(),
                 QString("ヴェルモ！ - 確認|36|") + f.Pics + "/p01.bmp\rを削除しますか？");
        QVERIFY(QFile::exists(qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files/p01.bmp"));
        QVERIFY(!QFile::exists(f.Pics + "/p01.bmp"));

        IniRec.Delete = 0;
        f.Asked.clear();
        w.actDelete->trigger();
        QVERIFY(f.Asked.isEmpty());
        QCOMPARE(w.lstFile->count(), 0);
        QVERIFY(!w.actDelete->isEnabled());
    }

    void modeActionsToggle() {
        TMainWindowFixture f;
        TfrmVelmo& w = f.Open();
        QCOMPARE(w.windowTitle(), QString("ヴェルモ！ - コピーモード"));
        w.actCopy->trigger(); // the mode that is already on switches to the other
        QCOMPARE(IniRec.Mode, 1);
        QCOMPARE(w.windowTitle(), QString("ヴェルモ！ - 移動モード"));
        QVERIFY(w.actMove->isChecked());
        QVERIFY(!w.actCopy->isChecked());
        w.actCopy->trigger();
        QCOMPARE(IniRec.Mode, 0);
        QVERIFY(w.actCopy->isChecked());
        w.actMove->trigger();
        QCOMPARE(IniRec.Mode, 1);
    }

    void digitKeysReachTheButtons() {
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        f.MakePictures(4);
        f.WriteIni(QStringLiteral(
                       "[PATH]\nTitle3=Four\nPath3=%1\nCurrentPath=%2\n[ACTION]\nMode=1\nMove=0\n")
                       .arg(out, f.Pics));
        TfrmVelmo& w = f.Open();
        w.lstFile->setFocus();
        QTest::keyClick(w.lstFile, Qt::Key_3);
        QVERIFY(QFile::exists(out + "/p00.bmp"));
        QTest::keyClick(w.lstFile, Qt::Key_3, Qt::ControlModifier); // Ctrl+3 acts like 3
        QVERIFY(QFile::exists(out + "/p01.bmp"));
        QTest::keyClick(w.lstFile, Qt::Key_3, Qt::KeypadModifier);
        QVERIFY(QFile::exists(out + "/p02.bmp"));
        // Slot 5 is empty: the key 4 goes on to the list and moves nothing.
        QTest::keyClick(w.lstFile, Qt::Key_4);
        QCOMPARE(w.lstFile->count(), 1);
        QVERIFY(QFile::exists(f.Pics + "/p03.bmp"));
        QVERIFY(f.Asked.isEmpty());
    }

    // Names from old memory cards (Shift-JIS) and broken ones: listed
    // readably, shown, and sorted by digit key with every name's bytes and
    // every file's contents intact.
    void legacyNamesSortEndToEnd() {
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        QStringEncoder sjis("Shift_JIS");
        const QByteArray pics = PathToBytes(f.Pics);
        const QList<QByteArray> names{sjis.encode(u"夏の海.jpg"), "bad\xff\xfe.bmp", "\x82.bmp",
                                      "plain.bmp"};
        QMap<QByteArray, QByteArray> contents;
        for (int i = 0; i < names.size(); ++i) {
            const QString made = MakePicture(f.Sandbox.filePath("made%1.%2")
                                                 .arg(i)
                                                 .arg(names[i].endsWith(".jpg") ? "jpg" : "bmp"),
                                             40 + i, 30);
            contents[names[i]] = TSandboxRead(made);
            QCOMPARE(
                std::rename(PathToBytes(made).constData(), (pics + '/' + names[i]).constData()), 0);
        }
        f.WriteIni(Ini(f.Pics, out, "Mode=1\nMove=0\nOverWrite=0"));
        TfrmVelmo& w = f.Open();
        QStringList shown = f.ListItems();
        std::sort(shown.begin(), shown.end());
        QCOMPARE(shown, (QStringList{QStringLiteral("bad\uFFFD\uFFFD.bmp"), "plain.bmp",
                                     QStringLiteral("夏の海.jpg"), QStringLiteral("\uFFFD.bmp")}));
        w.lstFile->setFocus();
        for (int left = names.size(); left > 0; --left) {
            QVERIFY2(f.Panel(2).endsWith(" x 30"), qPrintable(f.Panel(2))); // shown
            QVERIFY2(shown.contains(f.Panel(1).section(QLatin1Char('/'), -1)),
                     qPrintable(f.Panel(1)));
            QTest::keyClick(w.lstFile, Qt::Key_0);
            QCOMPARE(w.lstFile->count(), left - 1);
        }
        QVERIFY2(f.FileErrors.isEmpty(), qPrintable(f.FileErrors.join('\n')));
        QMap<QByteArray, QByteArray> landed;
        for (const QByteArray& name : names) {
            landed[name] = TSandboxRead(PathFromBytes(PathToBytes(out) + '/' + name));
            QVERIFY(::access((pics + '/' + name).constData(), F_OK) != 0);
        }
        QCOMPARE(landed, contents);
        for (const QByteArray& name : names) // the sandbox cannot remove them
            ::unlink((PathToBytes(out) + '/' + name).constData());
    }

private:
    static QByteArray TSandboxRead(const QString& path) {
        QFile file;
        return OpenForReading(file, path) == 0 ? file.readAll() : QByteArray("<missing>");
    }
};

QTEST_MAIN(TestMainWindowSorting)
#include "test_mainwindow_sorting.moc"
