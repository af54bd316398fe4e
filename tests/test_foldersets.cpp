// Named sets of the output folders: kept losslessly, switched, and brought
// back with the source folder they were used for.
#include "platform/FileName.h"
#include "settings/FolderSets.h"
#include "support/MainWindowFixture.h"

#include <QToolButton>
#include <QtTest>

class TestFolderSets : public QObject {
    Q_OBJECT
private slots:
    void savedAndLoadedLosslessly() {
        TMainWindowFixture f; // its own Velmo.ini
        f.WriteIni("[PATH]\n");
        const auto fill = [](const QString& tag) {
            for (int k = 0; k < OutFolderCount; ++k)
                OutFolders[k] = {
                    QStringLiteral(" %1 題%2 ").arg(tag).arg(k),
                    k % 3 ? PathFromBytes("/out/\x8f\x6f" + tag.toLatin1() + QByteArray::number(k))
                          : QString()};
        };
        fill("studio");
        SaveFolderSet("studio");
        fill("trip");
        SaveFolderSet("旅行 = 2025");
        fill("studio");
        SaveFolderSet("studio"); // the same name is replaced, not added
        QCOMPARE(FolderSetNames(), QStringList({"studio", "旅行 = 2025"}));
        for (const auto& [name, tag] :
             {std::pair<QString, QString>{"旅行 = 2025", "trip"}, {"studio", "studio"}}) {
            for (TOutFolderRec& slot : OutFolders)
                slot = {};
            QVERIFY(LoadFolderSet(name));
            const TOutFolderRec got19 = OutFolders[19];
            fill(tag);
            for (int k = 0; k < OutFolderCount; ++k) {
                const TOutFolderRec want = OutFolders[k];
                QVERIFY(LoadFolderSet(name));
                QCOMPARE(OutFolders[k].Title, want.Title);
                QCOMPARE(OutFolders[k].Path, want.Path);
            }
            QCOMPARE(got19.Path, OutFolders[19].Path);
        }
        QVERIFY(!LoadFolderSet("none"));
        const QString odd = PathFromBytes("/pics/\x91\x49 a");
        RememberFolderSet("/pics/a", "studio");
        RememberFolderSet(odd, "旅行 = 2025");
        RememberFolderSet("/pics/a", "旅行 = 2025");
        QCOMPARE(FolderSetFor("/pics/a"), QString("旅行 = 2025"));
        QCOMPARE(FolderSetFor(odd), QString("旅行 = 2025"));
        QCOMPARE(FolderSetFor("/pics/b"), QString());
    }

    // Opening a folder brings its set's buttons back.
    void folderBringsItsSet() {
        TMainWindowFixture f;
        const QString other = f.Sandbox.makeDir("other");
        f.MakePictures(2);
        f.WriteIni(QStringLiteral("[PATH]\nTitle0=Home\nPath0=/tmp\nCurrentPath=%1\n").arg(f.Pics));
        TfrmVelmo& w = f.Open();
        QCOMPARE(w.spbNo[0]->text(), QString("Home"));
        const auto open = [&](const QString& folder) {
            IniRec.CurrentPath = folder;
            w.OpenFolder(folder);
        };
        OutFolders[12] = {"Shifted", "/tmp"};
        w.SaveFolderSetAs("far");
        open(other);
        OutFolders[12] = {};
        OutFolders[0] = {"Near", "/tmp"};
        w.SaveFolderSetAs("near");
        w.UseFolderSet("near", true);
        for (const bool far : {true, false, true}) {
            open(far ? f.Pics : other);
            QCOMPARE(w.FolderSetName, QString(far ? "far" : "near"));
            QCOMPARE(w.spbNo[0]->text(), QString(far ? "Home" : "Near"));
            QCOMPARE(w.spbNo[12]->isVisibleTo(&w), far);
        }
    }
};

QTEST_MAIN(TestFolderSets)
#include "test_foldersets.moc"
