// A picture and its companions sorted as one: each step on a group, on one
// filesystem and across two, undone and redone after a restart; the clash
// policies decided once for the group; a member that fails takes the others
// back; a companion gone before the key.
#include "history/GroupSteps.h"
#include "support/FileOpsTestSupport.h"

#include <QtTest>

namespace {
struct TSession : TStepQuestions {
    explicit TSession(const QString& journal, TClashPolicy policy = cpAsk) {
        History.Open(journal);
        Groups.Policy = policy;
    }
    bool AskOverwrite(const QString& target, bool) override {
        Asked << target;
        return Answer;
    }
    void Refuse(const QString& text) override { Refused << text; }
    void Note(const QString& text) override { Notes << text; }
    bool Answer = true;
    QStringList Asked, Refused, Notes;
    THistory History;
    TFileSteps Steps{nullptr, History, *this};
    TGroupSteps Groups{nullptr, History, Steps, *this};
};

const QStringList kNames{"p.jpg", "p.cr2", "p.jpg.xmp"};

// Every file of a folder with its bytes.
QMap<QString, QByteArray> Contents(const QString& folder) {
    QMap<QString, QByteArray> all;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        all.insert(name, ReadAll(folder + '/' + name));
    return all;
}
} // namespace

class TestGroupSteps : public QObject {
    Q_OBJECT

    TFakePlatformScope Fake;
    QStringList ErrorTexts;
    TSandbox Box;
    QStringList Members;
    QMap<QString, QByteArray> Pictures;

    QString MakeGroup(const TSandbox& box) {
        Members.clear();
        for (const QString& name : kNames)
            Members << box.writeFile("pics/" + name, RandomBytes(200000 + int(Members.size())));
        Pictures = Contents(box.filePath("pics"));
        return box.filePath("pics");
    }

    // Copy and move on one filesystem and across two, and the trash.
    static void KindRows() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("otherFs");
        for (int kind : {skCopy, skMove})
            for (bool otherFs : {false, true})
                QTest::addRow("%s%s", kind == skCopy ? "copy" : "move",
                              otherFs ? " across filesystems" : "")
                    << kind << otherFs;
        QTest::newRow("trash") << int(skTrash) << false;
    }
    // The group in box/pics, its output folder (on `shm` across filesystems,
    // empty where the two could not be set apart) and the journal.
    struct TTrial {
        TSandbox box;
        TShmSandbox shm;
        QString pics = box.filePath("pics");
        QString out;
        QString journal = box.filePath("Velmo.journal");
    };
    void Prepare(TTrial& t, bool otherFs) {
        MakeGroup(t.box);
        const QString out = otherFs ? t.shm.path() : t.box.makeDir("out");
        t.out = OnDifferentDevices(t.pics, out) == otherFs ? out : QString();
    }
    bool Take(TSession& s, int kind, const QString& out) {
        return kind == skCopy   ? s.Groups.Copy(Members, out)
               : kind == skMove ? s.Groups.Move(Members, out)
                                : s.Groups.Trash(Members);
    }

private slots:
    void init() {
        PrepareFileOpTest(Fake, ErrorTexts);
        qputenv("XDG_DATA_HOME", QFile::encodeName(Box.makeDir("data")));
    }

    void eachStepUndoneAndRedone_data() { KindRows(); }
    void eachStepUndoneAndRedone() {
        QFETCH(int, kind);
        QFETCH(bool, otherFs);
        TTrial t;
        Prepare(t, otherFs);
        QVERIFY(!t.out.isEmpty());
        const QString &pics = t.pics, &out = t.out, &journal = t.journal;
        const auto expect = [&](bool done) {
            QCOMPARE(Contents(pics), done && kind != skCopy ? decltype(Pictures)() : Pictures);
            if (kind != skTrash)
                QCOMPARE(Contents(out), done ? Pictures : decltype(Pictures)());
        };
        {
            TSession s(journal);
            QVERIFY(Take(s, kind, out));
            QVERIFY(s.Groups.UndoCaption().contains("p.jpg +cr2 +jpg.xmp"));
        }
        expect(true);
        for (bool redo : {true, false}) {
            {
                // Read afresh, as a new start reads it: one step for three files.
                TSession s(journal);
                QVERIFY(s.Groups.Undo());
                QVERIFY(!s.History.UndoStep());
                QCOMPARE(s.Groups.Touched.size(), 2 * kNames.size());
            }
            expect(false);
            if (redo) {
                TSession s(journal);
                QVERIFY(s.Groups.Redo());
                QVERIFY(!s.History.RedoStep());
                expect(true);
            }
        }
        QCOMPARE(ErrorTexts, QStringList());
    }

    void clashDecidedForTheGroup_data() {
        QTest::addColumn<int>("policy");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QStringList>("landed"); // in the output folder afterwards
        const QStringList taken{"p (2).jpg", "p.cr2"};
        QTest::newRow("ask, yes: replaced, one question")
            << int(cpAsk) << true << QStringList{"p (2).jpg", "p.cr2", "p.jpg", "p.jpg.xmp"};
        QTest::newRow("ask, no: nothing moves") << int(cpAsk) << false << taken;
        QTest::newRow("keep both: one number free for all")
            << int(cpKeepBoth) << true
            << QStringList{"p (2).jpg", "p (3).cr2", "p (3).jpg", "p (3).jpg.xmp", "p.cr2"};
        QTest::newRow("skip: the whole group stays") << int(cpSkip) << true << taken;
    }
    void clashDecidedForTheGroup() {
        QFETCH(int, policy);
        QFETCH(bool, answer);
        QFETCH(QStringList, landed);
        TSandbox box;
        const QString pics = MakeGroup(box);
        box.writeFile("out/p.cr2", "another raw");
        box.writeFile("out/p (2).jpg", "another picture");
        TSession s(box.filePath("Velmo.journal"), TClashPolicy(policy));
        s.Answer = answer;
        const bool moved = s.Groups.Move(Members, box.filePath("out"));
        QCOMPARE(QDir(box.filePath("out")).entryList(QDir::Files), landed);
        QCOMPARE(moved, landed.size() > 2);
        QCOMPARE(Contents(pics).isEmpty(), moved);
        QCOMPARE(s.Asked.size(), policy == cpAsk ? 1 : 0);
        // The group is one step: undo brings every member back.
        if (moved) {
            QVERIFY(s.Groups.Undo());
            QCOMPARE(Contents(pics), Pictures);
        }
        QCOMPARE(Contents(box.filePath("out")).value("p.cr2"), QByteArray("another raw"));
    }

    void failingMemberTakesTheOthersBack_data() { KindRows(); }
    void failingMemberTakesTheOthersBack() {
        QFETCH(int, kind);
        QFETCH(bool, otherFs);
        TTrial t;
        Prepare(t, otherFs);
        QVERIFY(!t.out.isEmpty());
        const QString &pics = t.pics, &out = t.out, &journal = t.journal;
        // The lead goes last; its file service fails.
        Fake->OnFileOpFault = [](TFileOpStep step, const QString& path) {
            return (step == fosOpenSource || step == fosRename || step == fosTrash) &&
                           path.endsWith("/p.jpg")
                       ? EIO
                       : 0;
        };
        TSession s(journal);
        QVERIFY(!Take(s, kind, out));
        QCOMPARE(ErrorTexts.size(), 1);
        ErrorTexts.clear();
        QCOMPARE(Contents(pics), Pictures);
        QCOMPARE(Contents(out), decltype(Pictures)());
        QVERIFY(!s.History.UndoStep() && !s.History.RedoStep());
        QCOMPARE(TSession(journal).History.State().Steps.size(), size_t(0));
    }

    // A step stopped between two members, as a kill would stop it: the next
    // start finishes it, so the group never stays in two folders.
    void crashBetweenMembersRepairedAtStart_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("otherFs");
        QTest::addColumn<int>("taken"); // members moved before the stop
        for (int kind : {skCopy, skMove})
            for (bool otherFs : {false, true})
                for (int taken : {0, 1, 2})
                    QTest::addRow("%s%s after %d", kind == skCopy ? "copy" : "move",
                                  otherFs ? " across filesystems" : "", taken)
                        << kind << otherFs << taken;
    }
    void crashBetweenMembersRepairedAtStart() {
        QFETCH(int, kind);
        QFETCH(bool, otherFs);
        QFETCH(int, taken);
        TTrial t;
        Prepare(t, otherFs);
        QVERIFY(!t.out.isEmpty());
        const QString &pics = t.pics, &out = t.out, &journal = t.journal;
        {
            TSession s(journal);
            s.Groups.StopAfter = taken;
            QVERIFY(!Take(s, kind, out));
        }
        TSession s(journal);
        s.Steps.Recover();
        s.Groups.Recover();
        const bool done = taken > 0;
        QCOMPARE(Contents(pics), done && kind == skMove ? decltype(Pictures)() : Pictures);
        QCOMPARE(Contents(out), done ? Pictures : decltype(Pictures)());
        QVERIFY(s.History.Pending().empty());
        // Finished, it is one step that undo takes back whole.
        QCOMPARE(s.History.State().Steps.size(), size_t(done ? kNames.size() : 0));
        if (done) {
            QVERIFY(s.Groups.Undo());
            QCOMPARE(Contents(pics), Pictures);
        }
        QCOMPARE(ErrorTexts, QStringList());
    }

    void vanishedCompanionLeavesTheRestToGo() {
        TSandbox box;
        const QString pics = MakeGroup(box);
        QVERIFY(QFile::remove(Members[1]));
        TSession s(box.filePath("Velmo.journal"));
        QVERIFY(s.Groups.Move(Members, box.makeDir("out")));
        QCOMPARE(QDir(box.filePath("out")).entryList(QDir::Files),
                 QStringList({"p.jpg", "p.jpg.xmp"}));
        QVERIFY(s.Notes.size() == 1 && s.Notes[0].startsWith("p.cr2 が見つからない"));
        QVERIFY(s.Groups.Undo());
        QCOMPARE(QDir(pics).entryList(QDir::Files), QStringList({"p.jpg", "p.jpg.xmp"}));
    }
};

QTEST_GUILESS_MAIN(TestGroupSteps)
#include "test_groupsteps.moc"
