// The journal of sorting steps: what survives a crash at any byte of the last
// record, a journal that cannot be read, and the history's own rules.
#include "history/History.h"
#include "platform/FileName.h"
#include "support/FileOpsTestSupport.h"

#include <QtTest>

#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(THistoryState)

namespace {
THistoryStep Step(TStepKind kind, const QString& source, const QString& target) {
    THistoryStep s;
    s.Kind = kind;
    s.Source = source;
    s.Target = target;
    s.Stamp = {1234, 1700000000123456789, kind == skCopy ? QByteArray::fromHex("00ff10ee") : ""};
    return s;
}
} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    void openJournal_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<THistoryState>("state"); // what reading it gives
        QTest::addColumn<bool>("setAside");
        const QByteArray good = JournalHeader() + EncodeRecord({joDone, Step(skMove, "/a", "/b")});
        const QByteArray flipped = QByteArray(good).replace(good.size() - 30, 1, "Z");
        QTest::newRow("another file") << QByteArray("[WINDOW]\nTop=0\n") << THistoryState() << true;
        QTest::newRow("a damaged whole record")
            << flipped + good.mid(JournalHeader().size()) << THistoryState() << true;
        QTest::newRow("a cut header") << JournalHeader().left(5) << THistoryState() << false;
        QTest::newRow("empty") << QByteArray() << THistoryState() << false;

        // A crash can stop the last record at any byte: every earlier record
        // still counts, the cut one does not.
        TSandbox box;
        THistory h;
        h.Open(box.filePath("Velmo.journal"));
        // Names a journal must keep exactly: blanks, a line end, a dash,
        // bytes that are not UTF-8.
        h.Add(Step(skMove, PathFromBytes("/p/a b-c\n\xff\x82.jpg"), "/out/x.jpg"));
        h.Add(Step(skCopy, "/p/b.jpg", "/out/b (2).jpg"));
        THistoryStep back = *h.UndoStep();
        back.Target = "/out/b (3).jpg";
        h.Undone(back);
        THistoryStep trash = Step(skTrash, "/p/c.jpg", "/t/files/c.jpg");
        trash.Replaced = "/t/files/old.jpg";
        trash.Identical = true;
        h.Add(trash); // the undone copy gives way
        const quint64 intent = h.Begin(joRedone, trash, {{"/p/c,1.jpg", "/t/x", {7, 8, {}, 0}}});
        h.Begin(joDone, trash, {{"/p/e.jpg", "/o/e.jpg", {}}, {"/p/e.xmp", "/o/e.xmp", {}}});
        const THistoryState before = h.State();
        h.Abandon(intent);
        const QByteArray whole = ReadAll(box.filePath("Velmo.journal"));
        for (qsizetype cut = whole.lastIndexOf('\n', whole.size() - 2) + 1; cut < whole.size();
             ++cut)
            QTest::addRow("cut at %lld", qlonglong(cut)) << whole.left(cut) << before << false;
        QTest::newRow("whole") << whole << h.State() << false;
    }
    // A journal is read as far as it holds whole records; one that cannot be
    // read is kept aside; either way the next record lands whole.
    void openJournal() {
        QFETCH(QByteArray, contents);
        QFETCH(THistoryState, state);
        QFETCH(bool, setAside);
        TSandbox box;
        const QString path = box.writeFile("Velmo.journal", contents);
        THistory h;
        h.Open(path);
        QCOMPARE(h.State().Steps, state.Steps);
        QCOMPARE(h.State().Done, state.Done);
        QCOMPARE(h.State().Pending, state.Pending);
        QCOMPARE(!h.SetAsideName().isEmpty(), setAside);
        if (setAside)
            QCOMPARE(ReadAll(h.SetAsideName()), contents); // kept as it was
        QVERIFY(h.Add(Step(skDelete, "/p/d.jpg", QString())));
        THistory again;
        again.Open(path);
        QCOMPARE(again.State().Steps, h.State().Steps);
    }

    // Undo and redo walk one list; a new step ends what could be redone; a
    // step that can never be undone leaves; the oldest fall off past the
    // limit, and the journal is rewritten before it grows without end.
    void historyRules() {
        TSandbox box;
        const QString path = box.filePath("Velmo.journal");
        THistory h;
        h.Open(path);
        auto ends = [&h] { // the sources of the undo and the redo step
            return QStringList{h.UndoStep() ? h.UndoStep()->Source : "-",
                               h.RedoStep() ? h.RedoStep()->Source : "-"};
        };
        QCOMPARE(ends(), QStringList({"-", "-"}));
        for (int i = 0; i < 3; ++i)
            h.Add(Step(skMove, QString("/p/%1").arg(i), QString("/o/%1").arg(i)));
        h.Undone(*h.UndoStep());
        h.Undone(*h.UndoStep());
        QCOMPARE(ends(), QStringList({"/p/0", "/p/1"}));
        h.Redone(*h.RedoStep());
        QCOMPARE(ends(), QStringList({"/p/1", "/p/2"}));
        h.Drop(); // /p/1 can never come back
        QCOMPARE(ends(), QStringList({"/p/0", "/p/2"}));
        h.Add(Step(skCopy, "/p/9", "/o/9"));
        QCOMPARE(ends(), QStringList({"/p/9", "-"}));
        QCOMPARE(h.State().Steps.size(), size_t(2));

        // A journal of many runs: the oldest steps fall off, and the file is
        // rewritten with only what the history needs.
        const int n = 3 * kHistoryLimit + 5;
        QByteArray many = JournalHeader();
        for (int i = 0; i < n; ++i) {
            THistoryStep s = Step(skMove, QString("/q/%1").arg(i), "/o");
            s.Id = quint64(100 + i);
            many += EncodeRecord({joDone, s});
        }
        box.writeFile("Velmo.journal", many);
        h.Open(path);
        QCOMPARE(h.State().Steps.size(), size_t(kHistoryLimit));
        QCOMPARE(h.State().Steps.front().Source, QString("/q/%1").arg(n - kHistoryLimit));
        QCOMPARE(h.RecordCount(), kHistoryLimit);
        h.Undone(*h.UndoStep());
        THistory again;
        again.Open(path);
        QCOMPARE(again.State().Steps, h.State().Steps);
        QCOMPARE(again.State().Done, kHistoryLimit - 1);
        h.Add(Step(skCopy, "/p/new", "/o/new")); // numbered after every earlier step
        QVERIFY(h.UndoStep()->Id >= quint64(100 + n));
    }

    void journalIsNoLink_data() {
        QTest::addColumn<QString>("name"); // the name given to the user's file
        QTest::addColumn<bool>("hard");
        QTest::newRow("journal, symbolic") << "Velmo.journal" << false;
        QTest::newRow("journal, hard") << "Velmo.journal" << true;
        QTest::newRow("new journal, symbolic") << "Velmo.journal.new" << false;
        QTest::newRow("new journal, hard") << "Velmo.journal.new" << true;
    }
    // A link where the journal goes never lets the journal into the user's
    // file; a second running copy finds the journal in use.
    void journalIsNoLink() {
        QFETCH(QString, name);
        QFETCH(bool, hard);
        TSandbox box;
        const QByteArray mine = JournalHeader(); // a journal to anyone reading it
        const QString user = box.writeFile("user.txt", mine);
        const QString link = box.filePath(name);
        QVERIFY(hard ? ::link(qPrintable(user), qPrintable(link)) == 0 : QFile::link(user, link));
        THistory h;
        h.Open(box.filePath("Velmo.journal"));
        QVERIFY(h.Add(Step(skMove, "/p/a", "/o/a")));
        QCOMPARE(ReadAll(user), mine);
        THistory again;
        again.Open(box.filePath("Velmo.journal"));
        QCOMPARE(again.State().Steps, h.State().Steps);
        QCOMPARE(ReadAll(user), mine);
        const pid_t child = fork();
        if (child == 0) {
            THistory other;
            other.Open(box.filePath("Velmo.journal"));
            _exit(other.InUse() && !other.UndoStep() ? 0 : 1);
        }
        int status = -1;
        QCOMPARE(waitpid(child, &status, 0), child);
        QCOMPARE(status, 0);
    }

    // The captions of moves and trashings are seen in the main window's test.
    void captions() {
        const THistoryStep s = Step(skDelete, "/p/p03.jpg", QString());
        QCOMPARE(UndoCaption(&s), QString("元に戻す: p03.jpg の削除 (元に戻せません)"));
        QCOMPARE(UndoCaption(nullptr) + RedoCaption(nullptr), QString("元に戻す(&U)やり直し(&R)"));
    }
};

QTEST_MAIN(TestHistory)
#include "test_history.moc"
