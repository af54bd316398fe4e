// The sorting's file steps and their undo and redo: each kind of step, on one
// filesystem and across two, after a restart; a changed file is refused; the
// three clash policies and the same picture already in place.
#include "history/FileSteps.h"
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
    bool AskOverwrite(const QString&) override {
        ++Asked;
        return Answers.isEmpty() || Answers.takeFirst();
    }
    void Refuse(const QString& text) override { Refused << text; }
    void Note(const QString& text) override { Notes << text; }
    QList<bool> Answers; // to the overwrite question, in order (yes when none left)
    int Asked = 0;
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
        for (int kind : {skCopy, skMove})
            for (bool otherFs : {false, true})
                for (bool replacing : {false, true})
                    QTest::addRow("%s%s%s", kind == skCopy ? "copy" : "move",
                                  otherFs ? " across filesystems" : "",
                                  replacing ? " over another file" : "")
                        << kind << otherFs << replacing;
        QTest::newRow("trash") << int(skTrash) << false << false;
    }
    // Do, undo, redo and undo again; the journal is read afresh before each,
    // as a new start would read it.
    void undoRedoEachKind() {
        QFETCH(int, kind);
        QFETCH(bool, otherFs);
        QFETCH(bool, replacing);
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

    void undoRefusedOnChangedFile_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("sameSizeAndTime");
        QTest::newRow("copy, other bytes of the same size and time") << int(skCopy) << true;
        QTest::newRow("copy, grown") << int(skCopy) << false;
        QTest::newRow("move, grown") << int(skMove) << false;
    }
    void undoRefusedOnChangedFile() {
        QFETCH(int, kind);
        QFETCH(bool, sameSizeAndTime);
        TSandbox box;
        TSession s(box.filePath("Velmo.journal"));
        QVERIFY(s.Steps.Copy(box.writeFile("pics/a.jpg", "earlier"), box.filePath("out/a.jpg")));
        const QString source = box.writeFile("pics/b.jpg", "picture");
        const QString target = box.filePath("out/b.jpg");
        QVERIFY(kind == skCopy ? s.Steps.Copy(source, target) : s.Steps.Move(source, target));
        const struct stat st = StatOf(target);
        const QByteArray changed = sameSizeAndTime ? "PICTURE" : "picture, edited";
        box.writeFile("out/b.jpg", changed);
        SetTimes(target, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);

        QVERIFY(s.Steps.Undo());
        QCOMPARE(s.Refused.size(), 1);
        QVERIFY(s.Refused[0].contains("変更されたため、元に戻せません"));
        QCOMPARE(ReadAll(target), changed);
        QCOMPARE(QFile::exists(source), kind == skCopy);
        // Out of the history: the step before is next, and still goes back.
        QVERIFY(s.Steps.Undo());
        QVERIFY(!QFile::exists(box.filePath("out/a.jpg")));
    }

    void clashPolicies_data() {
        QTest::addColumn<int>("policy");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("identical");
        QTest::addColumn<bool>("move");
        QTest::addColumn<QString>("landed"); // the new file's name, "" when none
        QTest::addColumn<int>("asked");
        for (bool move : {false, true}) {
            QTest::addRow("ask, yes, %d", move)
                << int(cpAsk) << true << false << move << "b.jpg" << 1;
            QTest::addRow("ask, no, %d", move) << int(cpAsk) << false << false << move << "" << 1;
            QTest::addRow("keep both, %d", move)
                << int(cpKeepBoth) << true << false << move << "b (3).jpg" << 0;
            QTest::addRow("skip, %d", move) << int(cpSkip) << true << false << move << "" << 0;
            for (int policy : {cpAsk, cpKeepBoth, cpSkip})
                QTest::addRow("same bytes, policy %d, %d", policy, move)
                    << policy << true << true << move << "" << 0;
        }
    }
    void clashPolicies() {
        QFETCH(int, policy);
        QFETCH(bool, answer);
        QFETCH(bool, identical);
        QFETCH(bool, move);
        QFETCH(QString, landed);
        QFETCH(int, asked);
        TSandbox box;
        TSession s(box.filePath("Velmo.journal"), TClashPolicy(policy));
        s.Answers = {answer};
        const QString source = box.writeFile("pics/b.jpg", "picture");
        const QByteArray old = identical ? "picture" : "old";
        box.writeFile("out/b.jpg", old);
        box.writeFile("out/b (2).jpg", "another");
        const bool done = move ? s.Steps.Move(source, box.filePath("out/b.jpg"))
                               : s.Steps.Copy(source, box.filePath("out/b.jpg"));
        QCOMPARE(s.Asked, asked);
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

    // Undo finds the old place taken: the policy decides there too, and a
    // question is asked even where sorting would not ask.
    void undoIntoATakenPlace() {
        TSandbox box;
        TSession s(box.filePath("Velmo.journal"), cpKeepBoth);
        const QString source = box.writeFile("pics/c.jpg", "picture");
        QVERIFY(s.Steps.Move(source, box.filePath("out/c.jpg")));
        box.writeFile("pics/c.jpg", "a newcomer");
        QVERIFY(s.Steps.Undo());
        QCOMPARE(ReadAll(box.filePath("pics/c (2).jpg")), QByteArray("picture"));
        QCOMPARE(ReadAll(source), QByteArray("a newcomer"));
        // Redo takes the file from where it came back to.
        QVERIFY(s.Steps.Redo());
        QCOMPARE(ReadAll(box.filePath("out/c.jpg")), QByteArray("picture"));
        QVERIFY(!QFile::exists(box.filePath("pics/c (2).jpg")));

        box.writeFile("pics/c (2).jpg", "another newcomer");
        s.Steps.Policy = cpAsk;
        s.Steps.AskBeforeOverwrite = false;
        s.Answers = {false};
        QVERIFY(!s.Steps.Undo());
        QCOMPARE(s.Asked, 1);
        QCOMPARE(ReadAll(box.filePath("out/c.jpg")), QByteArray("picture"));
    }
};

QTEST_MAIN(TestFileSteps)
#include "test_filesteps.moc"
