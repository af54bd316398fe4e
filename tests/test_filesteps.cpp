// The sorting's file steps and their undo and redo: each kind of step, on one
// filesystem and across two, after a restart; a changed file is refused; the
// three clash policies and the same picture already in place; another
// program's writes at the last moment, a start after a crash, records that
// point at files the steps never made.
#include "history/FileSteps.h"
#include "platform/FileName.h"
#include "platform/FileStamp.h"
#include "support/FileOpsTestSupport.h"

#include <QtTest>

namespace {
// A sorting session on a journal: its history, its steps and the answers to
// their questions.
struct TSession : TStepQuestions {
    explicit TSession(const QString& journal, TClashPolicy policy = cpAsk) {
        History.Open(journal);
        Steps.Policy = policy;
    }
    bool AskOverwrite(const QString&, bool undoing) override {
        ++Asked;
        AskedUndoing = undoing;
        return Answers.isEmpty() || Answers.takeFirst();
    }
    void Refuse(const QString& text) override { Refused << text; }
    void Note(const QString& text) override { Notes << text; }
    QList<bool> Answers; // to the overwrite question, in order (yes when none left)
    int Asked = 0;
    bool AskedUndoing = false; // the last question was an undo's
    QStringList Refused, Notes;
    THistory History;
    TFileSteps Steps{nullptr, History, *this};
};
} // namespace

class TestFileSteps : public QObject {
    Q_OBJECT

    TFakePlatformScope Fake;
    QStringList ErrorTexts;
    TSandbox Box;

private slots:
    void init() {
        PrepareFileOpTest(Fake, ErrorTexts);
        qputenv("XDG_DATA_HOME", QFile::encodeName(Box.makeDir("data")));
    }
    void cleanup() { QVERIFY2(ErrorTexts.isEmpty(), qPrintable(ErrorTexts.join('\n'))); }

    void undoRedoEachKind_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("otherFs");
        QTest::addColumn<bool>("replacing");
        QTest::addColumn<QByteArray>("edit"); // written over the file after the step ("" none)
        for (int kind : {skCopy, skMove})
            for (bool otherFs : {false, true})
                for (bool replacing : {false, true})
                    QTest::addRow("%s%s%s", kind == skCopy ? "copy" : "move",
                                  otherFs ? " across filesystems" : "",
                                  replacing ? " over another file" : "")
                        << kind << otherFs << replacing << QByteArray();
        QTest::newRow("trash") << int(skTrash) << false << false << QByteArray();
        QTest::newRow("copy, then other bytes of the same size and time")
            << int(skCopy) << false << false << QByteArray(300000, 'x');
        QTest::newRow("copy, then grown") << int(skCopy) << false << false << RandomBytes(300001);
        QTest::newRow("move, then grown") << int(skMove) << false << false << RandomBytes(300001);
    }
    // Do, undo, redo and undo again; the journal is read afresh before each,
    // as a new start would read it. A file changed after its step is not
    // taken back, and the step leaves the history.
    void undoRedoEachKind() {
        QFETCH(int, kind);
        QFETCH(bool, otherFs);
        QFETCH(bool, replacing);
        QFETCH(QByteArray, edit);
        TSandbox box;
        TShmSandbox shm;
        const QString out = otherFs ? shm.path() : box.makeDir("out");
        QCOMPARE(OnDifferentDevices(box.path(), out), otherFs);
        const QByteArray picture = RandomBytes(300000);
        const QString source = box.writeFile("pics/p03.jpg", picture);
        const QString target = out + "/p03.jpg";
        if (replacing)
            QVERIFY(QFile(target).open(QIODevice::WriteOnly));
        const QByteArray before = ReadAll(target);
        const QString journal = box.filePath("Velmo.journal");

        auto expect = [&](bool done) {
            QCOMPARE(ReadAll(source), done && kind != skCopy ? QByteArray("<missing>") : picture);
            QCOMPARE(ReadAll(target), done && kind != skTrash ? picture : before);
        };
        {
            TSession s(journal);
            QVERIFY(kind == skCopy   ? s.Steps.Copy(source, target)
                    : kind == skMove ? s.Steps.Move(source, target)
                                     : s.Steps.Trash(source));
            QCOMPARE(s.Asked, int(replacing));
        }
        expect(true);
        if (!edit.isEmpty()) {
            const struct stat st = StatOf(target);
            box.writeFile("out/p03.jpg", edit);
            SetTimes(target, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
            TSession s(journal);
            QVERIFY(s.Steps.Undo());
            QVERIFY(s.Refused.size() == 1 &&
                    s.Refused[0].contains("変更されたため、元に戻せません"));
            QCOMPARE(ReadAll(target), edit);
            QCOMPARE(ReadAll(source), kind == skCopy ? picture : QByteArray("<missing>"));
            TSession again(journal);
            QVERIFY(!again.History.UndoStep() && !again.History.RedoStep());
            return;
        }
        for (bool redo : {true, false}) {
            {
                TSession s(journal);
                QVERIFY(s.Steps.Undo());
                QVERIFY(!s.History.UndoStep());
            }
            expect(false);
            if (redo) {
                TSession s(journal);
                QVERIFY(s.Steps.Redo());
                expect(true);
            }
        }
        QCOMPARE(Leftovers(QFileInfo(source).path(), {"p03.jpg"}), QStringList());
    }

    void clashPolicies_data() {
        QTest::addColumn<int>("policy");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("identical");
        QTest::addColumn<bool>("move");
        QTest::addColumn<QString>("landed"); // the new file's name, "" when none
        for (bool move : {false, true}) {
            QTest::addRow("ask, yes, %d", move) << int(cpAsk) << true << false << move << "b.jpg";
            QTest::addRow("ask, no, %d", move) << int(cpAsk) << false << false << move << "";
            QTest::addRow("keep both, %d", move)
                << int(cpKeepBoth) << true << false << move << "b (3).jpg";
            QTest::addRow("skip, %d", move) << int(cpSkip) << true << false << move << "";
            for (int policy : {cpAsk, cpKeepBoth, cpSkip})
                QTest::addRow("same bytes, policy %d, %d", policy, move)
                    << policy << true << true << move << "";
        }
    }
    void clashPolicies() {
        QFETCH(int, policy);
        QFETCH(bool, answer);
        QFETCH(bool, identical);
        QFETCH(bool, move);
        QFETCH(QString, landed);
        TSandbox box;
        TSession s(box.filePath("Velmo.journal"), TClashPolicy(policy));
        s.Answers = {answer};
        const QString source = box.writeFile("pics/b.jpg", "picture");
        const QByteArray old = identical ? "picture" : "old";
        box.writeFile("out/b.jpg", old);
        box.writeFile("out/b (2).jpg", "another");
        const bool done = move ? s.Steps.Move(source, box.filePath("out/b.jpg"))
                               : s.Steps.Copy(source, box.filePath("out/b.jpg"));
        QCOMPARE(s.Asked, int(policy == cpAsk && !identical)); // never over the same picture
        QCOMPARE(done, identical || !landed.isEmpty());
        QCOMPARE(QFile::exists(source), !(done && move));
        QCOMPARE(s.Notes.size(), int(identical ? !move : policy == cpSkip));
        QCOMPARE(ReadAll(box.filePath("out/b (2).jpg")), QByteArray("another"));
        QCOMPARE(ReadAll(box.filePath("out/b.jpg")), landed == "b.jpg" ? "picture" : old);
        QCOMPARE(QFile::exists(box.filePath("out/b (3).jpg")), landed == "b (3).jpg");
        // Only a step that changed something is in the history; undo puts
        // every file back, the replaced one out of the trash.
        QCOMPARE(s.History.UndoStep() != nullptr, !landed.isEmpty() || (identical && move));
        if (!s.History.UndoStep())
            return;
        QVERIFY(s.Steps.Undo());
        QCOMPARE(ReadAll(source), QByteArray("picture"));
        QCOMPARE(ReadAll(box.filePath("out/b.jpg")), old);
        QVERIFY(!QFile::exists(box.filePath("out/b (3).jpg")));
    }

    // Undo finds the old place taken: a question even where sorting would
    // not ask, or the policy's choice; redo takes the file from where it came
    // back to.
    void undoIntoATakenPlace() {
        TSandbox box;
        TSession s(box.filePath("Velmo.journal"));
        s.Steps.AskBeforeOverwrite = false;
        s.Answers = {false};
        const QString source = box.writeFile("pics/c.jpg", "picture");
        QVERIFY(s.Steps.Move(source, box.filePath("out/c.jpg")));
        box.writeFile("pics/c.jpg", "a newcomer");
        QVERIFY(!s.Steps.Undo());
        QCOMPARE(s.Asked, 1);
        QVERIFY(s.AskedUndoing); // No is its default
        QCOMPARE(ReadAll(box.filePath("out/c.jpg")), QByteArray("picture"));

        s.Steps.Policy = cpKeepBoth;
        QVERIFY(s.Steps.Undo());
        QCOMPARE(ReadAll(box.filePath("pics/c (2).jpg")), QByteArray("picture"));
        QCOMPARE(ReadAll(source), QByteArray("a newcomer"));
        QVERIFY(s.Steps.Redo());
        QCOMPARE(ReadAll(box.filePath("out/c.jpg")), QByteArray("picture"));
        QVERIFY(!QFile::exists(box.filePath("pics/c (2).jpg")));
    }

    void anotherProgramMeanwhile_data() {
        QTest::addColumn<bool>("move");
        QTest::addColumn<bool>("otherFs");
        QTest::addColumn<int>("step");      // where the other program acts
        QTest::addColumn<bool>("newcomer"); // at the target, else over the source
        for (bool move : {false, true})
            for (bool otherFs : {false, true})
                QTest::addRow("%s%s, a newcomer at the target", move ? "move" : "copy",
                              otherFs ? " across filesystems" : "")
                    << move << otherFs << int(move && !otherFs ? fosRename : fosSyncData) << true;
        QTest::newRow("move across filesystems, the source saved over")
            << true << true << int(fosRemoveSource) << false;
        QTest::newRow("copy, the source written to") << false << true << int(fosSyncData) << false;
    }
    // A newcomer at the target is kept (the policy gives "(2)"); a source
    // that is no longer the file read stays, and so does its newer version.
    void anotherProgramMeanwhile() {
        QFETCH(bool, move);
        QFETCH(bool, otherFs);
        QFETCH(int, step);
        QFETCH(bool, newcomer);
        TSandbox box;
        TShmSandbox shm;
        const QString out = otherFs ? shm.path() : box.makeDir("out");
        const QString source = box.writeFile("pics/a.jpg", "picture");
        const QString target = out + "/a.jpg";
        bool fired = false;
        Fake->OnFileOpFault = [&](TFileOpStep at, const QString&) {
            if (at != step || std::exchange(fired, true))
                return 0;
            if (newcomer)
                QFile::rename(box.writeFile("newcomer", "newcomer"), target);
            else if (at == fosRemoveSource)
                ::rename(PathToBytes(box.writeFile("new.jpg", "newer version!")),
                         PathToBytes(source));
            else
                box.writeFile("pics/a.jpg", "newer version!");
            return 0;
        };
        TSession s(box.filePath("Velmo.journal"), cpKeepBoth);
        const bool done = move ? s.Steps.Move(source, target) : s.Steps.Copy(source, target);
        if (newcomer) {
            QVERIFY(done);
            QCOMPARE(ReadAll(target), QByteArray("newcomer"));
            QCOMPARE(ReadAll(out + "/a (2).jpg"), QByteArray("picture"));
            QCOMPARE(QFile::exists(source), !move);
            return;
        }
        QVERIFY(!done);
        QCOMPARE(ErrorTexts.size(), 1);
        ErrorTexts.clear();
        QCOMPARE(ReadAll(source), QByteArray("newer version!"));
        QCOMPARE(Leftovers(out, move ? QStringList{"a.jpg"} : QStringList()), QStringList());
    }

    void startAfterACrash_data() {
        QTest::addColumn<int>("planned");
        QTest::addColumn<QString>("files"); // per member: s source only, t target only, b both
        QTest::addColumn<QString>("after"); // the same, once settled
        QTest::addColumn<bool>("recorded");
        QTest::newRow("nothing moved yet") << int(joDone) << "s"
                                           << "s" << false;
        QTest::newRow("moved, not recorded") << int(joDone) << "t"
                                             << "t" << true;
        QTest::newRow("copied, source not removed") << int(joDone) << "b"
                                                    << "t" << true;
        QTest::newRow("redo moved, not recorded") << int(joRedone) << "t"
                                                  << "t" << true;
        QTest::newRow("two files, one moved") << int(joDone) << "ts"
                                              << "ss" << false;
        QTest::newRow("two files, both moved") << int(joDone) << "tb"
                                               << "tt" << true;
    }
    // What a kill left half done is finished or rolled back, as a whole; the
    // history learns of it, and our temporary copies go.
    void startAfterACrash() {
        QFETCH(int, planned);
        QFETCH(QString, files);
        QFETCH(QString, after);
        QFETCH(bool, recorded);
        TSandbox box;
        const QString journal = box.filePath("Velmo.journal");
        std::vector<TIntentMember> members;
        THistoryStep step;
        step.Kind = skMove;
        for (int i = 0; i < files.size(); ++i) {
            const QString source = box.writeFile(QString("pics/%1.jpg").arg(i), RandomBytes(1000));
            members.push_back({source, box.filePath(QString("out/%1.jpg").arg(i)), {}});
            StampFile(source, false, members.back().Stamp);
        }
        step.Source = members[0].Source;
        step.Target = members[0].Target;
        const QByteArray first = ReadAll(step.Source);
        {
            TSession s(journal);
            if (planned == joRedone) {
                QVERIFY(s.Steps.Move(step.Source, step.Target) && s.Steps.Undo());
                step = *s.History.RedoStep();
            }
            s.History.Begin(TJournalOp(planned), step, members);
        }
        box.writeFile("out/.0.jpg.velmo-x1.tmp", "unfinished");
        for (int i = 0; i < files.size(); ++i)
            if (files[i] != 's')
                QVERIFY(QFile::copy(members[i].Source, members[i].Target) &&
                        (files[i] == 'b' || QFile::remove(members[i].Source)));
        for (int i = 0; i < files.size(); ++i)
            if (files[i] != 's')
                SetTimes(members[i].Target, members[i].Stamp.Modified / 1000000000,
                         members[i].Stamp.Modified % 1000000000);
        TSession s(journal);
        s.Steps.Recover();
        for (int i = 0; i < files.size(); ++i) {
            QCOMPARE(QFile::exists(members[i].Source), after[i] == 's');
            QCOMPARE(QFile::exists(members[i].Target), after[i] == 't');
        }
        QCOMPARE(ReadAll(after[0] == 's' ? step.Source : step.Target), first);
        QVERIFY(!QFile::exists(box.filePath("out/.0.jpg.velmo-x1.tmp")));
        TSession again(journal);
        QVERIFY(again.History.Pending().empty());
        QCOMPARE(again.History.UndoStep() != nullptr, recorded);
        if (recorded)
            QVERIFY(again.Steps.Undo() && QFile::exists(step.Source));
    }

    void undoOnlyWhatTheStepMade_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("change"); // 0 another file, 1 no inode, 2 folder gone
        for (int kind : {skCopy, skMove})
            for (int change : {0, 1, 2})
                if (kind == skMove || change < 2) // a copy's undo needs no folder
                    QTest::addRow("%s, %d", kind == skCopy ? "copy" : "move", change)
                        << kind << change;
        QTest::newRow("trash, emptied") << int(skTrash) << 3;
    }
    // A record that points at a file no step made (another inode, or one
    // without its inode) leaves it alone; a vanished source folder is not
    // made again; an emptied trash is told as such.
    void undoOnlyWhatTheStepMade() {
        QFETCH(int, kind);
        QFETCH(int, change);
        TSandbox box;
        TSession s(box.filePath("Velmo.journal"));
        const QString source = box.writeFile("pics/d.jpg", "document");
        const QString target = box.filePath("out/d.jpg");
        QVERIFY(kind == skCopy   ? s.Steps.Copy(source, target)
                : kind == skMove ? s.Steps.Move(source, target)
                                 : s.Steps.Trash(source));
        THistoryStep step = *s.History.UndoStep();
        if (change == 3) {
            QVERIFY(QFile::remove(step.Target));
            QVERIFY(s.Steps.Undo());
            QVERIFY(s.Refused.size() == 1 && s.Refused[0].contains("ごみ箱にもうない"));
            return;
        }
        if (change == 0) {
            const struct stat st = StatOf(target);
            box.writeFile("other", "document");
            QVERIFY(QFile::remove(target) && QFile::rename(box.filePath("other"), target));
            SetTimes(target, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        } else if (change == 1) {
            step.Stamp.Inode = 0;
            s.History.Drop();
            s.History.Add(step);
        } else {
            QVERIFY(QDir(box.filePath("pics")).removeRecursively());
        }
        s.Steps.Undo();
        QCOMPARE(s.Refused.size(), 1);
        QCOMPARE(ReadAll(target), QByteArray("document"));
        QCOMPARE(QFileInfo::exists(box.filePath("pics")), change != 2);
    }
};

QTEST_MAIN(TestFileSteps)
#include "test_filesteps.moc"
