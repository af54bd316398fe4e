// The main window's frame and view: panes and splitters, buttons from the
// settings, the folder scan, showing and failing pictures, and the close.
#include "app/ImageView.h"
#include "app/MainRules.h"
#include "app/Splitter.h"
#include "settings/Settings.h"
#include "support/MainWindowFixture.h"
#include "toolkit/Picture.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QtTest>

#include <sys/stat.h>

class TestMainWindowFrame : public QObject {
    Q_OBJECT
private slots:
    void treePaneHidesAndComesBackAtItsWidth() {
        TMainWindowFixture f;
        TfrmVelmo& w = f.Open();
        QCOMPARE(w.pnlLeft->maximumWidth(), 200);
        w.splMain->DragTo(49); // refused
        QCOMPARE(w.pnlLeft->maximumWidth(), 200);
        w.splMain->DragTo(50); // accepted
        QCOMPARE(w.pnlLeft->maximumWidth(), 50);
        w.splMain->DragTo(260);
        w.actTree->trigger();
        QCOMPARE(w.pnlLeft->maximumWidth(), 0);
        QVERIFY(!w.actTree->isChecked());
        QCOMPARE(IniRec.Tree, 0);
        w.ApplySettings(); // applying again while hidden keeps the remembered width
        w.actTree->trigger();
        QCOMPARE(w.pnlLeft->maximumWidth(), 260);
        QVERIFY(w.actTree->isChecked());
        w.splLeft->DragTo(49);
        QCOMPARE(w.pnlLeftTop->maximumHeight(), 250);
        w.splLeft->DragTo(120);
        QCOMPARE(w.pnlLeftTop->maximumHeight(), 120);
    }

    void treeHiddenAtStartRestoresLoadedWidth() {
        TMainWindowFixture f;
        f.WriteIni("[WINDOW]\nSplMain=150\n[SETTING]\nTree=0\nOutFolButton=0\n");
        TfrmVelmo& w = f.Open();
        QCOMPARE(w.pnlLeft->maximumWidth(), 0);
        QCOMPARE(w.pnlOutFolButton->maximumWidth(), 0);
        w.actTree->trigger();
        QCOMPARE(w.pnlLeft->maximumWidth(), 150);
        w.actOutFolButton->trigger();
        QCOMPARE(w.pnlOutFolButton->maximumWidth(), 72);
        QVERIFY(w.actOutFolButton->isChecked());
        QVERIFY(f.Close());
        const QString ini = QString::fromUtf8(ReadFile(IniFileName()));
        QVERIFY2(ini.contains("SplMain=150"), qPrintable(ini));
    }

    void buttonsFollowTheSlots() {
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        f.WriteIni(QStringLiteral(
                       "[PATH]\nTitle0=Keep\nPath0=%1\nTitle1=NoPath\nPath1=\nTitle2=\nPath2=%1\n"
                       "Path3=file://%1/%8Fo%97%CD\n")
                       .arg(out));
        TfrmVelmo& w = f.Open();
        QCOMPARE(w.spbNo[0]->text(), QString("Keep"));
        QCOMPARE(w.spbNo[0]->toolTip(), out);
        QVERIFY(w.spbNo[0]->isEnabled());
        QCOMPARE(w.spbNo[1]->text(), QString(" ")); // a title alone does not make a slot
        QVERIFY(w.spbNo[1]->toolTip().isEmpty());
        QVERIFY(!w.spbNo[1]->isEnabled());
        QCOMPARE(w.spbNo[2]->text(), QString());
        QVERIFY(w.spbNo[2]->isEnabled());
        QCOMPARE(w.spbNo[3]->toolTip(), out + "/出力"); // a legacy name read as Shift-JIS
        OutFolders[0].Path.clear();
        w.ApplySettings();
        QCOMPARE(w.spbNo[0]->text(), QString(" "));
        QVERIFY(!w.spbNo[0]->isEnabled());
        // "設定(&S)" comes up over every button, set or not, and below them;
        // the click goes through the window as the pointer's would.
        for (QWidget* at : {(QWidget*)w.spbNo[0], (QWidget*)w.spbNo[2], (QWidget*)w.spbNo[9],
                            (QWidget*)w.pnlOutFolButton}) {
            const QPoint pos = at->mapTo(&w, at == w.pnlOutFolButton ? QPoint(30, at->height() - 5)
                                                                     : at->rect().center());
            QTest::mouseClick(w.windowHandle(), Qt::RightButton, {}, pos);
            QTRY_VERIFY2(w.pmnOutFolButton->isVisible(), qPrintable(at->objectName()));
            w.pmnOutFolButton->hide();
        }
    }

    void scanListsPicturesOnly() {
        TMainWindowFixture f;
        f.MakePictures(2, "jpg");
        MakePicture(f.Pics + "/UPPER.JPG", 20, 20);
        MakePicture(f.Pics + "/icon.ico", 16, 16);
        f.Sandbox.writeFile("pics/a.jpe", "x");
        f.Sandbox.writeFile("pics/notes.txt", "x");
        f.Sandbox.makeDir("pics/folder.jpg");
        const QString longName = QString(60, QChar('w')) + ".bmp";
        MakePicture(f.Pics + "/" + longName, 10, 10);
        f.WriteIni(QStringLiteral("[PATH]\nCurrentPath=%1\n").arg(f.Pics));
        TfrmVelmo& w = f.Open();
        QCOMPARE(f.ListItems(),
                 QStringList({"icon.ico", "p00.jpg", "p01.jpg", "UPPER.JPG", longName}));
        QCOMPARE(f.Panel(0), QString("5 Files"));
        QCOMPARE(w.LastIndex, 4);
        // The list scrolls sideways exactly as far as the widest name needs.
        const int widest = w.lstFile->fontMetrics().horizontalAdvance(longName);
        QVERIFY2(qAbs(w.HorizontalExtent() - (widest + 4)) <= 2,
                 qPrintable(QString::number(w.HorizontalExtent())));
        // Scrolled fully right, that name is drawn whole, its margins and all.
        w.lstFile->horizontalScrollBar()->setValue(w.lstFile->horizontalScrollBar()->maximum());
        QStyleOptionViewItem opt;
        opt.initFrom(w.lstFile);
        opt.rect = w.lstFile->visualItemRect(w.lstFile->item(4));
        opt.text = longName;
        opt.features = QStyleOptionViewItem::HasDisplay;
        const QRect text = w.style()->subElementRect(QStyle::SE_ItemViewItemText, &opt, w.lstFile);
        QVERIFY(text.width() >= widest && text.right() < w.lstFile->viewport()->width());

        f.Sandbox.writeFile("pics/zz.bmp", ReadFile(f.Pics + "/" + longName));
        w.actReNew->trigger(); // F5 reads the folder again
        QCOMPARE(w.lstFile->count(), 6);
        QCOMPARE(w.lstFile->currentRow(), 0);

        IniRec.CurrentPath = f.Sandbox.filePath("missing");
        w.OpenFolder(IniRec.CurrentPath);
        QCOMPARE(w.lstFile->count(), 0);
        QCOMPARE(f.Panel(0), QString("0 Files"));
        QCOMPARE(w.HorizontalExtent(), 4);
        QVERIFY(f.Panel(1).isEmpty());
        QVERIFY(f.Errors.isEmpty());
    }

    void failedPictureIsNamedInItsPlace() {
        TMainWindowFixture f;
        f.MakePictures(2, "jpg");
        f.Sandbox.writeFile("pics/p02.jpg", QByteArray(500, 'x'));
        f.Sandbox.writeFile("pics/p03.jpg", QByteArray());
        f.WriteIni(QStringLiteral("[PATH]\nCurrentPath=%1\n[OTHER]\nFileName=0\n").arg(f.Pics));
        TfrmVelmo& w = f.Open();
        w.actNext->trigger();
        QCOMPARE(w.ShownIndex, 1);
        QCOMPARE(f.Panel(1), QString("p01.jpg"));
        QCOMPARE(f.Panel(2), QString("41 x 31"));
        w.actNext->trigger(); // garbage: the reason first, then the file
        QVERIFY(f.Errors.size() == 1 && f.Errors[0].endsWith("\rp02.jpg を表示できません."));
        QCOMPARE(w.ShownIndex, 2);
        QVERIFY(w.findChild<QLabel*>("lblNotice")->text().startsWith("p02.jpg を表示できません\n"));
        QCOMPARE(f.Panel(1), QString("p02.jpg"));
        QCOMPARE(f.Panel(3), QString("500 Byte"));
        QCOMPARE(w.Picture().Width(), 0);
        QVERIFY(w.actPrev->isEnabled());
        QVERIFY(w.actNext->isEnabled());
        QVERIFY(w.lstFile->isEnabled());
        QVERIFY(!w.pgbMain->isVisible());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        w.actNext->trigger(); // empty file
        QCOMPARE(f.Errors.size(), 2);
        QVERIFY(!w.actNext->isEnabled());   // last item
        QFile::remove(f.Pics + "/p00.jpg"); // gone between the scan and the click
        w.lstFile->setCurrentRow(0);
        QCOMPARE(f.Errors.size(), 3);
        QCOMPARE(w.ShownIndex, 0);
        QVERIFY(f.Panel(1) == "p00.jpg" && f.Panel(3).isEmpty() && f.Panel(4).isEmpty());
        QVERIFY(!w.actPrev->isEnabled());
        w.OpenStartArgument(f.Pics + "/gone.jpg"); // opens its folder and says so
        const auto* notice = w.findChild<QLabel*>("staNotice");
        QVERIFY(IniRec.CurrentPath == f.Pics &&
                notice->text() == "見つかりません: " + f.Pics + "/gone.jpg");
    }

    // Resuming on a picture that no longer loads: the window comes first,
    // naming the file in the view, then the error box over it. A picture
    // cut short is shown as far as it goes, marked damaged.
    void resumeOnBrokenPictureShowsTheWindowFirst() {
        TMainWindowFixture f;
        f.MakePictures(2, "jpg");
        const QByteArray whole = ReadFile(f.Pics + "/p00.jpg");
        f.Sandbox.writeFile("pics/p00.jpg", whole.left(whole.size() - 30));
        f.Sandbox.writeFile("pics/p01.jpg", QByteArray(500, 'x'));
        f.WriteIni(QStringLiteral("[PATH]\nCurrentPath=%1\nCurrentFile=%1/p01.jpg\n").arg(f.Pics));
        bool windowFirst = false;
        f.Fake->OnErrorBox = [&](const QString&) { windowFirst = f.Form && f.Form->isVisible(); };
        TfrmVelmo& w = f.Open();
        QTRY_VERIFY(windowFirst);
        QVERIFY(w.findChild<QLabel*>("lblNotice")->text().startsWith("p01.jpg を表示できません\n"));
        w.actPrev->trigger();
        QTRY_COMPARE(f.Panel(2), QString("40 x 30（破損）"));
    }

    void fitAndActualSize() {
        TMainWindowFixture f;
        MakePicture(f.Pics + "/big.bmp", 1600, 1200);
        MakePicture(f.Pics + "/small.bmp", 50, 40);
        f.WriteIni(
            QStringLiteral("[PATH]\nCurrentPath=%1\n[ACTION]\nDispSize=1\nProportional=1\nZoom=1\n")
                .arg(f.Pics));
        TfrmVelmo& w = f.Open();
        const QSize box = w.scbMain->size();
        QVERIFY(w.imgMain->width() < box.width() && w.imgMain->height() < box.height());
        QVERIFY(w.pmnImageStretch->isChecked());
        w.pmnImageOriginal->trigger();
        QCOMPARE(IniRec.DispSize, 0);
        QCOMPARE(w.imgMain->size(), QSize(1600, 1200));
        QCOMPARE(w.imgMain->cursor().shape(), Qt::PointingHandCursor);
        // Dragging scrolls the view by the distance moved.
        const int before = w.scbMain->horizontalScrollBar()->value();
        w.imgMainMouseDown(300, 300);
        w.imgMainMouseMove(200, 300);
        w.imgMainMouseUp(200, 300);
        QCOMPARE(w.scbMain->horizontalScrollBar()->value(), before + 100);
        w.actNext->trigger();
        QCOMPARE(w.imgMain->size(), QSize(50, 40));
        QCOMPARE(w.imgMain->cursor().shape(), Qt::ArrowCursor);
        w.pmnImageStretch->trigger(); // Zoom=1: a small picture keeps its size
        QCOMPARE(w.imgMain->size(), QSize(50, 40));
        IniRec.Zoom = 0;
        w.FitPicture();
        QVERIFY(w.imgMain->width() > 50);
    }

    // A picture fitted with its proportions follows every change of the view.
    void refitFollowsTheView() {
        TMainWindowFixture f;
        MakePicture(f.Pics + "/big.bmp", 1600, 1200);
        f.WriteIni(QStringLiteral("[PATH]\nCurrentPath=%1\n[ACTION]\nDispSize=1\nProportional=1\n")
                       .arg(f.Pics));
        TfrmVelmo& w = f.Open();
        const auto fitted = [&w] {
            return ProportionalStretchSize(w.scbMain->width(), w.scbMain->height(), 1600, 1200);
        };
        const std::function<void()> changes[] = {
            [&] { w.resize(1000, 720); }, [&] { w.splMain->DragTo(320); },
            [&] { w.actTree->trigger(); }, [&] { w.actOutFolButton->trigger(); }};
        for (const auto& change : changes) {
            const QSize before = w.scbMain->size();
            change();
            QTRY_VERIFY(w.scbMain->size() != before);
            QTRY_COMPARE(w.imgMain->size(), fitted());
        }
    }

    void emptyViewIgnoresPopupChecks() {
        TMainWindowFixture f;
        TfrmVelmo& w = f.Open();
        const bool original = w.pmnImageOriginal->isChecked();
        const bool stretch = w.pmnImageStretch->isChecked();
        w.pmnImageStretch->trigger();
        QCOMPARE(IniRec.DispSize, 1);
        QCOMPARE(w.pmnImageOriginal->isChecked(), original);
        QCOMPARE(w.pmnImageStretch->isChecked(), stretch);
    }

    void unwritableSettingsKeepTheWindowOpen() {
        TMainWindowFixture f;
        TfrmVelmo& w = f.Open();
        Q_UNUSED(w);
        // A folder where the file should be makes every write fail.
        QDir().mkpath(IniFileName());
        QVERIFY(!f.Close());
        QCOMPARE(f.Errors.size(), 1);
        QCOMPARE(f.Errors[0], IniFileName() + " に書き込めません.");
    }

private:
    static QByteArray ReadFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

QTEST_MAIN(TestMainWindowFrame)
#include "test_mainwindow_frame.moc"
