#include "app/DispExt.h"
#include "app/MainRules.h"

#include <QtTest>

class TestMainRules : public QObject {
    Q_OBJECT
private slots:
    void fittedSize_data() {
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("shown");
        QTest::newRow("wide picture") << QSize(591, 486) << QSize(1000, 500) << QSize(587, 291);
        QTest::newRow("small picture enlarged")
            << QSize(591, 486) << QSize(100, 100) << QSize(482, 482);
        // 591/640 as a 32-bit float lies just below the exact ratio.
        QTest::newRow("ratio just below exact")
            << QSize(591, 486) << QSize(640, 480) << QSize(586, 439);
        QTest::newRow("tall picture") << QSize(591, 486) << QSize(300, 900) << QSize(158, 482);
        QTest::newRow("zero width picture") << QSize(591, 486) << QSize(0, 100) << QSize(-4, -4);
        QTest::newRow("view smaller than margin")
            << QSize(3, 3) << QSize(100, 100) << QSize(-1, -1);
    }
    void fittedSize() {
        QFETCH(QSize, box);
        QFETCH(QSize, picture);
        QFETCH(QSize, shown);
        QCOMPARE(
            ProportionalStretchSize(box.width(), box.height(), picture.width(), picture.height()),
            shown);
    }

    void fitChoosesLayout() {
        const QSize box(591, 486);
        QVERIFY(FitShowsActualSize(0, 0, QSize(5000, 5000), box));
        QVERIFY(!FitShowsActualSize(1, 0, QSize(100, 100), box));
        QVERIFY(FitShowsActualSize(1, 1, QSize(100, 100), box));
        QVERIFY(FitShowsActualSize(1, 1, box, box)); // exactly as large still fits
        QVERIFY(!FitShowsActualSize(1, 1, QSize(592, 10), box));
        QVERIFY(!FitShowsActualSize(1, 7, QSize(10, 487), box));
    }

    void statusTexts_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("1023") << qint64(1023) << "1023 Byte";
        QTest::newRow("1024") << qint64(1024) << "1 KB";
        QTest::newRow("2047") << qint64(2047) << "1 KB";
        QTest::newRow("1048576") << qint64(1048576) << "1024 KB";
        QTest::newRow("0") << qint64(0) << "0 Byte";
        QTest::newRow("5 GiB") << qint64(5) * 1024 * 1024 * 1024 << "5242880 KB";
    }
    void statusTexts() {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(FileSizeText(bytes), text);
    }

    void panelTexts() {
        QCOMPARE(PictureSizeText(640, 480), QString("640 x 480"));
        QCOMPARE(FileCountText(0), QString("0 Files"));
        QCOMPARE(FileNamePanelText("/pics/a.jpg", 1), QString("/pics/a.jpg"));
        QCOMPARE(FileNamePanelText("/pics/a.jpg", 0), QString("a.jpg"));
        QCOMPARE(FileNamePanelText("/pics/a.jpg", 7), QString("/pics/a.jpg"));
        // A root folder that already ends in a slash gives two of them.
        QCOMPARE(JoinPath("/", "a.jpg"), QString("//a.jpg"));
        QCOMPARE(ModeCaption(0), QString("ヴェルモ！ - コピーモード"));
        QCOMPARE(ModeCaption(7), QString("ヴェルモ！ - 移動モード"));
    }

    void dateText() {
        QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
        const QDate day(2024, 3, 9);
        QCOMPARE(FileDateText(QDateTime(day, QTime(0, 0, 0))), QString("2024/03/09"));
        // Two-second grain, no time-zone part.
        QCOMPARE(FileDateText(QDateTime(day, QTime(13, 5, 7))), QString("2024/03/09 13時05分06秒"));
        QCOMPARE(FileDateText(QDateTime(day, QTime(13, 5, 6))), QString("2024/03/09 13時05分06秒"));
        // One second after midnight falls on the midnight grain.
        QCOMPARE(FileDateText(QDateTime(day, QTime(0, 0, 1))), QString("2024/03/09"));
        QLocale::setDefault(QLocale::c());
        QCOMPARE(FileDateText(QDateTime(day, QTime(9, 30, 0))), QString("9 Mar 2024 09:30:00"));
        QLocale::setDefault(QLocale::system());
    }

    void extensions() {
        QCOMPARE(ExtractFileExt(u"A.JPG").toString(), QString(".JPG"));
        QCOMPARE(ExtractFileExt(u"archive.tar.gz").toString(), QString(".gz"));
        QCOMPARE(ExtractFileExt(u"noext").toString(), QString());
        QCOMPARE(ExtractFileExt(u"/dir.d/noext").toString(), QString());
        QCOMPARE(LowerAZ("ÄB.JPG"), QString("Äb.jpg"));
        QCOMPARE(ExtensionsFromPatternLine("*.MAG;*.mki"), QStringList({".mag", ".mki"}));
        QCOMPARE(ExtensionsFromPatternLine("?.png; *.gif"), QStringList({".png", "*.gif"}));
    }

    void dispExtTable() {
        BuildDispExtFrom({{"*.MAG;*.MKI", "*.other"}, {"*.mag"}, {}, {"*.jpg;*.png"}});
        QStringList exts;
        for (const TDispExt& e : DispExt)
            exts << e.Ext;
        QCOMPARE(exts, QStringList({".jpg", ".jpeg", ".bmp", ".ico", ".mag", ".mki", ".png"}));
        QVERIFY(IsDispExt(u".JPG"));
        QVERIFY(IsDispExt(u".Mki"));
        QVERIFY(!IsDispExt(u".jpe"));
        QVERIFY(!IsDispExt(u".other")); // only a plug-in's first line counts
        QVERIFY(!IsDispExt(u""));
        DispExt.clear();
        QVERIFY(!IsDispExt(u".jpg"));
    }

    void selectionAfterRemoval() {
        QCOMPARE(IndexAfterRemoval(4, 3), 3);   // last of five: the new last
        QCOMPARE(IndexAfterRemoval(1, 3), 1);   // the follower moves up
        QCOMPARE(IndexAfterRemoval(0, -1), -1); // the only item: nothing left
    }

    void viewerKeys() {
        const struct {
            int Key;
            Qt::KeyboardModifiers Modifiers;
            TViewerCommand Command;
        } rows[] = {
            {Qt::Key_Left, {}, vcPrev},
            {Qt::Key_Backspace, {}, vcPrev},
            {Qt::Key_Space, {}, vcNext},
            {Qt::Key_Home, Qt::KeypadModifier, vcFirst},
            {Qt::Key_D, Qt::ShiftModifier, vcDelete},
            {Qt::Key_F11, {}, vcFullScreen},
            {Qt::Key_Home, Qt::ControlModifier, vcNone},
            {Qt::Key_Left, Qt::AltModifier, vcNone},
            {Qt::Key_Q, {}, vcNone},
        };
        for (const auto& r : rows) {
            QCOMPARE(ViewerCommandForKey(r.Key, r.Modifiers), r.Command);
            // The command's own keys, the described one first, hold this key.
            const QList<QKeySequence> keys = ViewerKeys(r.Command);
            QVERIFY(r.Command == vcNone ? keys.isEmpty() : keys.contains(QKeySequence(r.Key)));
        }
        QCOMPARE(ViewerKeys(vcNext).first(), QKeySequence(Qt::Key_N));
    }

    void digitKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<uint>("scanCode");
        QTest::addColumn<int>("digit");
        QTest::newRow("main row 3") << int(Qt::Key_3) << 12u << 3;
        QTest::newRow("main row 0") << int(Qt::Key_0) << 19u << 0;
        QTest::newRow("shifted 3 on US layout") << int(Qt::Key_NumberSign) << 12u << 3;
        QTest::newRow("AZERTY 1/& unshifted") << int(Qt::Key_Ampersand) << 10u << 1;
        QTest::newRow("keypad 3 with num lock") << int(Qt::Key_3) << 89u << 3;
        QTest::newRow("keypad 0 with num lock") << int(Qt::Key_0) << 90u << 0;
        QTest::newRow("keypad 3 without num lock") << int(Qt::Key_PageDown) << 89u << -1;
        QTest::newRow("letter key") << int(Qt::Key_Q) << 24u << -1;
        QTest::newRow("no native code, digit") << int(Qt::Key_7) << 0u << 7;
        QTest::newRow("no native code, letter") << int(Qt::Key_A) << 0u << -1;
    }
    void digitKeys() {
        QFETCH(int, key);
        QFETCH(uint, scanCode);
        QFETCH(int, digit);
        QCOMPARE(DigitForKey(key, scanCode, Qt::NoModifier), digit);
        QCOMPARE(DigitForKey(key, scanCode, Qt::ControlModifier | Qt::AltModifier), digit);
    }
};

QTEST_MAIN(TestMainRules)
#include "test_mainrules.moc"
