// Pictures decoded ahead: a preload is shown only for the file as it is now
// and in the list as it is now, exactly as a load would show it, and its own
// failure waits until the picture is asked for.
#include "app/Preloader.h"
#include "platform/Exceptions.h"
#include "settings/Settings.h"
#include "support/MainWindowFixture.h"
#include "toolkit/Picture.h"

#include <QAction>
#include <QListWidget>
#include <QToolButton>
#include <QtTest>

class TestMainWindowPreload : public QObject {
    Q_OBJECT
private slots:
    void preloadShownOnlyWhenCurrent_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("size");
        QTest::addColumn<int>("handed");
        QTest::newRow("nothing changed, N") << "none"
                                            << "120 x 90" << 1;
        QTest::newRow("file replaced, N") << "replace"
                                          << "64 x 48" << 0;
        QTest::newRow("file replaced, F5, N") << "F5"
                                              << "64 x 48" << -1;
        QTest::newRow("file replaced, move") << "move"
                                             << "64 x 48" << 0;
        QTest::newRow("new folder, N") << "folder"
                                       << "30 x 20" << 1;
    }
    void preloadShownOnlyWhenCurrent() {
        QFETCH(QString, change);
        QFETCH(QString, size);
        QFETCH(int, handed);
        TMainWindowFixture f;
        const QString out = f.Sandbox.makeDir("out");
        MakePicture(f.Pics + "/p00.jpg", 100, 80);
        MakePicture(f.Pics + "/p01.jpg", 120, 90);
        MakePicture(f.Pics + "/p02.jpg", 140, 100);
        f.WriteIni(QStringLiteral("[PATH]\nTitle0=Out\nPath0=%1\nCurrentPath=%2\n[ACTION]\n"
                                  "Mode=%3\nMove=0\nDispSize=1\n")
                       .arg(out, f.Pics, change == "move" ? "1" : "0"));
        TfrmVelmo& w = f.Open();
        QCOMPARE(w.ShownIndex, 0);
        const QString next = f.Pics + "/p01.jpg";
        QTRY_VERIFY_WITH_TIMEOUT(w.Preloads().Finished(next), 20000);
        int starts = 0;
        const TProgressEvent shown = w.Picture().OnProgress;
        w.Picture().OnProgress = [&](TGraphic* g, TProgressStage stage, quint8 percent, bool r,
                                     const QRect& rect, const QString& msg) {
            starts += stage == psStarting;
            shown(g, stage, percent, r, rect, msg);
        };
        if (change != "none" && change != "folder") {
            QFile::remove(next);
            MakePicture(next, 64, 48, QColor(10, 200, 10));
        }
        if (change == "F5")
            w.actReNew->trigger();
        if (change == "folder") {
            const QString other = f.Sandbox.makeDir("other");
            MakePicture(other + "/p00.jpg", 40, 30);
            MakePicture(other + "/p01.jpg", 30, 20);
            w.OpenStartArgument(other);
            QTRY_VERIFY_WITH_TIMEOUT(w.Preloads().Finished(other + "/p01.jpg"), 20000);
        }
        starts = 0;
        if (change == "move")
            w.spbNo[0]->click();
        else
            w.actNext->trigger();
        QVERIFY(f.Errors.isEmpty());
        QCOMPARE(w.ShownIndex, change == "move" ? 0 : 1);
        QVERIFY(f.Panel(1).endsWith("p01.jpg"));
        QCOMPARE(f.Panel(2), size);
        QCOMPARE(w.actPrev->isEnabled(), w.ShownIndex > 0);
        QCOMPARE(w.actNext->isEnabled(), w.ShownIndex < w.LastIndex);
        if (handed >= 0) {
            QCOMPARE(w.Preloads().Handed(), handed);
            QCOMPARE(starts, 1 - handed); // a preloaded picture shows no progress
        }
    }

    // The first picture guessed before the window is made is shown only when
    // it is the one the window asks for, decoded at least as large.
    void startGuessShownOnlyWhenRight_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("view");
        QTest::addColumn<int>("handed");
        QTest::newRow("right guess") << "pics" << 4000 << 1;
        QTest::newRow("decoded too small") << "pics" << 8 << 0;
        QTest::newRow("another folder") << "other" << 4000 << 0;
    }
    void startGuessShownOnlyWhenRight() {
        QFETCH(QString, folder);
        QFETCH(int, view);
        QFETCH(int, handed);
        TMainWindowFixture f;
        const QString other = f.Sandbox.makeDir("other");
        MakePicture(other + "/a.jpg", 90, 60);
        MakePicture(f.Pics + "/p01.jpg", 1600, 1200);
        MakePicture(f.Pics + "/P00.jpg", 1200, 800);
        f.WriteIni(QStringLiteral("[PATH]\nCurrentPath=%1\n[ACTION]\nDispSize=1\n").arg(f.Pics));
        GuessStartPicture(folder == "pics" ? f.Pics : other,
                          TDisplayFit{1, 0, 1, QSize(view, view), QSize()});
        TfrmVelmo& w = f.Open();
        QCOMPARE(w.ShownIndex, 0);
        QVERIFY(f.Panel(1).endsWith("P00.jpg"));
        QCOMPARE(f.Panel(2), QString("1200 x 800"));
        QCOMPARE(w.Preloads().Handed(), handed);
    }

    // The guess reads the settings before the window does: it must find what
    // the window then loads, defaults included.
    void startFitAsTheWindowLoadsIt_data() {
        QTest::addColumn<QString>("ini");
        QTest::newRow("no file") << "";
        QTest::newRow("fitted") << "[ACTION]\nDispSize=1\n";
        QTest::newRow("fitted, no tree") << "[ACTION]\nDispSize=1\n[SETTING]\nTree=0\n";
        QTest::newRow("all stored") << "[ACTION]\nDispSize=1\nZoom=1\nProportional=0\n"
                                       "[WINDOW]\nWidth=900\nHeight=700\nSplMain=150\n";
    }
    void startFitAsTheWindowLoadsIt() {
        QFETCH(QString, ini);
        TMainWindowFixture f;
        if (!ini.isEmpty())
            f.WriteIni(ini);
        const std::optional<TDisplayFit> fit = StoredStartFit();
        QVERIFY(fit);
        f.Form = std::make_unique<TfrmVelmo>();
        const TfrmVelmo& w = *f.Form;
        QCOMPARE(fit->DispSize, IniRec.DispSize);
        if (IniRec.DispSize == 0)
            return;
        QCOMPARE(fit->Zoom, IniRec.Zoom);
        QCOMPARE(fit->Proportional, IniRec.Proportional);
        const int left = IniRec.Tree != 0 ? w.pnlLeft->maximumWidth() : 0;
        QCOMPARE(fit->View, QSize(w.width() - left, w.height()));
    }

    void failedPreloadReportedOnlyWhenShown() {
        TMainWindowFixture f;
        MakePicture(f.Pics + "/p00.jpg", 100, 80);
        const QString broken = f.Pics + "/p01.jpg";
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\xFF\xD8\xFF\xDB") + QByteArray(64, 'x'));
        file.close();
        QString expected;
        try {
            TPicture picture;
            picture.LoadFromFile(broken);
        } catch (const Exception& e) {
            expected = e.Message;
        }
        QVERIFY(!expected.isEmpty());
        f.WriteIni(QStringLiteral("[PATH]\nCurrentPath=%1\n").arg(f.Pics));
        TfrmVelmo& w = f.Open();
        QTRY_VERIFY_WITH_TIMEOUT(w.Preloads().Finished(broken), 20000);
        QCoreApplication::processEvents();
        QVERIFY(f.Errors.isEmpty());
        w.actNext->trigger();
        QCOMPARE(f.Errors.size(), 1);
        QVERIFY2(f.Errors[0].startsWith(expected), qPrintable(f.Errors[0]));
        QCOMPARE(w.ShownIndex, 1); // named in its place
        QVERIFY(f.Panel(1).endsWith("p01.jpg"));
    }
};

QTEST_MAIN(TestMainWindowPreload)
#include "test_mainwindow_preload.moc"
