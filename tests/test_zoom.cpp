// Zoom at the pointer and the keys over the view: the scale and scroll
// arithmetic, the legend's texts, and in a real window the zoom kept through
// a burst and the flash of where a digit sent the picture.
#include "app/ImageView.h"
#include "app/Legend.h"
#include "app/ZoomMath.h"
#include "settings/Settings.h"
#include "support/MainWindowFixture.h"
#include "toolkit/Picture.h"

#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

class TestZoom : public QObject {
    Q_OBJECT
private slots:
    // One step from a scale, then where the view scrolls so the pixel under
    // the pointer stays there.
    void stepAtPointer_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("viewport");
        QTest::addColumn<bool>("centred");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("floor");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QPoint>("scroll");
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<double>("to");
        QTest::addColumn<QPoint>("scrolled");
        const QSize big(6000, 4000), turned(3001, 4501);
        QTest::newRow("top left corner") << big << QSize(1000, 800) << false << 2.0 / 3 << 0.16 << 1
                                         << QPoint(0, 0) << QPointF(0, 0) << 1.0 << QPoint(0, 0);
        QTest::newRow("bottom right corner")
            << big << QSize(1000, 800) << false << 2.0 / 3 << 0.16 << 1 << QPoint(500, 200)
            << QPointF(999, 799) << 1.0 << QPoint(1250, 700);
        QTest::newRow("from fitted, centred")
            << big << QSize(1200, 900) << true << 0.2 << 0.2 << 1 << QPoint(0, 0)
            << QPointF(600, 450) << 0.25 << QPoint(150, 50);
        QTest::newRow("odd turned picture")
            << turned << QSize(800, 600) << false << 1.0 << 0.13 << 1 << QPoint(1100, 2000)
            << QPointF(401, 299) << 1.5 << QPoint(1851, 3150);
        QTest::newRow("out at the far corner")
            << turned << QSize(800, 600) << false << 2.0 << 0.13 << -1 << QPoint(5202, 8402)
            << QPointF(799, 599) << 1.5 << QPoint(3702, 6152);
        QTest::newRow("out stops at the chosen scale")
            << big << QSize(1200, 900) << true << 0.25 << 0.2 << -1 << QPoint(150, 50)
            << QPointF(600, 450) << 0.2 << QPoint(0, 0);
        QTest::newRow("in stops at 800%")
            << QSize(100, 80) << QSize(400, 300) << false << 8.0 << 1.0 << 1 << QPoint(10, 20)
            << QPointF(5, 5) << 8.0 << QPoint(10, 20);
        QTest::newRow("fitted just above a step")
            << big << QSize(2001, 1400) << false << 0.3335 << 0.3335 << 1 << QPoint(0, 0)
            << QPointF(0, 0) << 0.5 << QPoint(0, 0);
        QTest::newRow("small picture at own size")
            << QSize(300, 200) << QSize(800, 600) << true << 1.0 << 1.0 << -1 << QPoint(0, 0)
            << QPointF(400, 300) << 1.0 << QPoint(0, 0);
    }
    void stepAtPointer() {
        QFETCH(QSize, picture);
        QFETCH(QSize, viewport);
        QFETCH(bool, centred);
        QFETCH(double, from);
        QFETCH(double, floor);
        QFETCH(int, direction);
        QFETCH(QPoint, scroll);
        QFETCH(QPointF, pointer);
        QFETCH(double, to);
        QFETCH(QPoint, scrolled);
        const double step = ZoomStep(from, floor, direction);
        QCOMPARE(step, to);
        QCOMPARE(ZoomScroll({picture, viewport, centred}, from, scroll, step, pointer), scrolled);
    }

    void legendTexts_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("flash");
        QTest::newRow("titled") << "風景"
                                << "/p/a" << true << "3 風景"
                                << "→ 3 風景";
        QTest::newRow("folder gone") << "人物"
                                     << "/p/b" << false << "3 人物 (フォルダなし)"
                                     << "→ 3 人物";
        QTest::newRow("untitled") << ""
                                  << "/p/花/" << true << "3 花"
                                  << "→ 3 花";
        QTest::newRow("not set") << ""
                                 << "" << false << "3"
                                 << "→ 3 ";
    }
    void legendTexts() {
        QFETCH(QString, title);
        QFETCH(QString, path);
        QFETCH(bool, exists);
        const TOutFolderRec slot{title, path};
        QTEST(LegendEntryText(3, slot, exists), "entry");
        QTEST(FlashText(3, slot), "flash");
    }

    // Zoomed to 100% and scrolled, the next picture keeps scale and place
    // only when it is as large and the setting asks for it.
    void burstKeepsZoom_data() {
        QTest::addColumn<int>("keep");
        QTest::addColumn<QSize>("second");
        QTest::addColumn<bool>("kept");
        QTest::newRow("same size") << 1 << QSize(1600, 1200) << true;
        QTest::newRow("turned") << 1 << QSize(1200, 1600) << false;
        QTest::newRow("setting off") << 0 << QSize(1600, 1200) << false;
    }
    void burstKeepsZoom() {
        QFETCH(int, keep);
        QFETCH(QSize, second);
        QFETCH(bool, kept);
        TMainWindowFixture f;
        MakePicture(f.Pics + "/a.bmp", 1600, 1200);
        MakePicture(f.Pics + "/b.bmp", second.width(), second.height());
        f.WriteIni(QStringLiteral("[PATH]\nCurrentPath=%1\n[ACTION]\nDispSize=1\nProportional=1\n"
                                  "KeepZoom=%2\n")
                       .arg(f.Pics)
                       .arg(keep));
        TfrmVelmo& w = f.Open();
        QTRY_COMPARE_WITH_TIMEOUT(w.ShownIndex, 0, 5000);
        w.ZoomTo(1, QPointF(100, 100));
        w.scbMain->horizontalScrollBar()->setValue(300);
        w.scbMain->verticalScrollBar()->setValue(200);
        QCOMPARE(f.Panel(2), QStringLiteral("1600 x 1200  100%"));
        w.actNext->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(w.ShownIndex, 1, 5000);
        QCOMPARE(w.ViewScale, kept ? 1.0 : 0.0);
        QCOMPARE(w.imgMain->Zoom(), w.ViewScale);
        const QPoint at(w.scbMain->horizontalScrollBar()->value(),
                        w.scbMain->verticalScrollBar()->value());
        QCOMPARE(at == QPoint(300, 200), kept);
        QCOMPARE(f.Panel(2).endsWith("100%"), kept);
    }

    // A digit that copied the picture flashes its target; K shows the legend.
    void digitFlashesTarget() {
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        f.MakePictures(2);
        f.WriteIni(
            QStringLiteral("[PATH]\nTitle1=風景\nPath1=%1\nCurrentPath=%2\n[ACTION]\nMode=0\n")
                .arg(out, f.Pics));
        TfrmVelmo& w = f.Open();
        QTRY_COMPARE_WITH_TIMEOUT(w.ShownIndex, 0, 5000);
        w.actLegend->trigger();
        QVERIFY(w.lgdSlots->isVisible());
        QCOMPARE(w.lgdSlots->Entries().value(1), QStringLiteral("1 風景"));
        QTest::keyClick(w.lstFile, Qt::Key_1);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out + "/p00.bmp"), 5000);
        QVERIFY(w.lblFlash->isVisible());
        QCOMPARE(w.lblFlash->text(), QStringLiteral("→ 1 風景"));
        QTRY_VERIFY_WITH_TIMEOUT(!w.lblFlash->isVisible(), 3000);
    }

    // Pinned, the first picture stays on the left; the right steps on, and
    // the digit key and Esc act on it.
    void compareActsOnRight() {
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        f.MakePictures(3);
        f.WriteIni(QStringLiteral("[PATH]\nPath1=%1\nCurrentPath=%2\n[ACTION]\nMode=0\n")
                       .arg(out, f.Pics));
        TfrmVelmo& w = f.Open();
        QTRY_COMPARE_WITH_TIMEOUT(w.ShownIndex, 0, 5000);
        QTest::keyClick(w.lstFile, Qt::Key_C);
        QVERIFY(w.Comparing());
        QTest::keyClick(w.lstFile, Qt::Key_N);
        QTRY_COMPARE_WITH_TIMEOUT(w.ShownIndex, 1, 5000);
        QTest::keyClick(w.lstFile, Qt::Key_1);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out + "/p01.bmp"), 5000);
        QVERIFY(!QFile::exists(out + "/p00.bmp"));
        QCOMPARE(w.imgPinned->size(), QSize(40, 30));
        QCOMPARE(w.imgMain->size(), QSize(41, 31));
        QTest::keyClick(w.lstFile, Qt::Key_Escape);
        QVERIFY(!w.Comparing());
    }
};

QTEST_MAIN(TestZoom)
#include "test_zoom.moc"
