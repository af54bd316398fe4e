// The second row of output folders: its keys, when it shows, where it sends.
#include "app/OutFolderSlots.h"
#include "support/MainWindowFixture.h"

#include <QListWidget>
#include <QToolButton>
#include <QtTest>

class TestOutFolders : public QObject {
    Q_OBJECT
private slots:
    void slotKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<uint>("scanCode");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("slot");
        const int shift = int(Qt::ShiftModifier);
        QTest::newRow("3") << int(Qt::Key_3) << 12u << 0 << 3;
        QTest::newRow("Shift+3, US") << int(Qt::Key_NumberSign) << 12u << shift << 13;
        QTest::newRow("Shift+0, US") << int(Qt::Key_ParenRight) << 19u << shift << 10;
        QTest::newRow("AZERTY 1 with Shift") << int(Qt::Key_1) << 10u << shift << 11;
        QTest::newRow("AZERTY 1 plain") << int(Qt::Key_Ampersand) << 10u << 0 << 1;
        QTest::newRow("Shift+keypad 3") << int(Qt::Key_PageDown) << 89u << shift << -1;
        QTest::newRow("Shift+letter") << int(Qt::Key_Q) << 24u << shift << -1;
        QTest::newRow("no native code") << int(Qt::Key_9) << 0u << shift << 19;
    }
    void slotKeys() {
        QFETCH(int, key);
        QFETCH(uint, scanCode);
        QFETCH(int, modifiers);
        QFETCH(int, slot);
        QCOMPARE(SlotForKey(key, scanCode, Qt::KeyboardModifiers(modifiers)), slot);
    }

    // The second row shows while one of its slots is set, and Shift with a
    // digit moves the picture on show there.
    void secondRow_data() {
        QTest::addColumn<int>("setSlot");
        QTest::addColumn<bool>("rowShown");
        QTest::newRow("first row only") << 3 << false;
        QTest::newRow("slot 12") << 12 << true;
        QTest::newRow("slot 19") << 19 << true;
    }
    void secondRow() {
        QFETCH(int, setSlot);
        QFETCH(bool, rowShown);
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        f.MakePictures(3);
        f.WriteIni(QStringLiteral("[PATH]\nTitle%1=Far\nPath%1=%2\nCurrentPath=%3\n"
                                  "[ACTION]\nMode=1\nMove=0\n")
                       .arg(setSlot)
                       .arg(out, f.Pics));
        TfrmVelmo& w = f.Open();
        QCOMPARE(w.spbNo[15]->isVisibleTo(&w), rowShown);
        QCOMPARE(w.pnlOutFolButton->width(), rowShown ? 144 : 72);
        QCOMPARE(w.spbNo[size_t(setSlot)]->text(), QString("Far"));
        const int digit = setSlot % 10;
        QTest::keyClick(w.lstFile, Qt::Key(Qt::Key_0 + digit),
                        setSlot >= 10 ? Qt::ShiftModifier : Qt::NoModifier);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out + "/p00.bmp"), 5000);
        QCOMPARE(f.ListItems(), QStringList({"p01.bmp", "p02.bmp"}));
        // Shift with a digit whose slot is unset does nothing.
        QTest::keyClick(w.lstFile, Qt::Key(Qt::Key_0 + (digit + 1) % 10), Qt::ShiftModifier);
        QCOMPARE(f.ListItems().size(), 2);
    }
};

QTEST_MAIN(TestOutFolders)
#include "test_outfolders.moc"
