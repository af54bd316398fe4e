// The journal of sorting steps: what survives a crash at any byte of the last
// record, a journal that cannot be read, and the history's own rules.
#include "history/History.h"
#include "platform/FileName.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {
THistoryStep Step(TStepKind kind, const QString& source, const QString& target) {
    THistoryStep s;
    s.Kind = kind;
    s.Source = source;
    s.Target = target;
    s.Stamp.Size = 1234;
    s.Stamp.Modified = 1700000000123456789;
    if (kind == skCopy)
        s.Stamp.Hash = QByteArray::fromHex("00ff10ee");
    return s;
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    // A crash can stop the last record at any byte: every earlier record
    // still counts, the cut one does not, and the next record lands whole.
    void tornLastRecordAtEveryByte() {
        TSandbox box;
        const QString path = box.filePath("Velmo.journal");
        // Names a journal must keep exactly: blanks, a line end, a dash,
        // bytes that are not UTF-8.
        const QString odd = PathFromBytes("/p/a b-c\n\xff\x82.jpg");
        THistoryState before;
        {
            THistory h;
            h.Open(path);
            QVERIFY(h.Persistent());
            QVERIFY(h.Add(Step(skMove, odd, "/out/x.jpg")));
            QVERIFY(h.Add(Step(skCopy, "/p/b.jpg", "/out/b (2).jpg")));
            THistoryStep back = *h.UndoStep();
            back.Target = "/out/b (3).jpg";
            QVERIFY(h.Undone(back));
            before = h.State();
            THistoryStep trash = Step(skTrash, "/p/c.jpg", "/t/files/c.jpg");
            trash.Replaced = "/t/files/old.jpg";
            trash.Identical = true;
            QVERIFY(h.Add(trash));
        }
        const QByteArray whole = Read(path);
        const qsizetype lastStart = whole.lastIndexOf('\n', whole.size() - 2) + 1;
        for (qsizetype cut = lastStart; cut <= whole.size(); ++cut) {
            Write(path, whole.left(cut));
            THistory h;
            h.Open(path);
            const THistoryState& s = h.State();
            if (cut == whole.size()) {
                QCOMPARE(s.Steps.size(), size_t(2)); // the undone copy gave way
                QCOMPARE(s.Steps[1].Replaced, QString("/t/files/old.jpg"));
                QVERIFY(s.Steps[1].Identical);
                continue;
            }
            QCOMPARE(s.Steps, before.Steps);
            QCOMPARE(s.Done, before.Done);
            QCOMPARE(s.Steps[0].Source, odd);
            QVERIFY(h.Add(Step(skDelete, "/p/d.jpg", QString())));
            THistory again;
            again.Open(path);
            QCOMPARE(again.State().Steps.size(), size_t(2));
            QCOMPARE(again.State().Steps[1].Source, QString("/p/d.jpg"));
            QVERIFY(again.SetAsideName().isEmpty());
        }
    }

    void unreadableJournalIsSetAside_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("setAside");
        const QByteArray good = JournalHeader() + EncodeRecord({joDone, Step(skMove, "/a", "/b")});
        QByteArray flipped = good;
        flipped[flipped.size() - 30] = 'Z';
        QTest::newRow("another file") << QByteArray("[WINDOW]\nTop=0\n") << true;
        QTest::newRow("a damaged whole record")
            << flipped + good.mid(JournalHeader().size()) << true;
        QTest::newRow("a cut header") << JournalHeader().left(5) << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void unreadableJournalIsSetAside() {
        QFETCH(QByteArray, contents);
        QFETCH(bool, setAside);
        TSandbox box;
        const QString path = box.filePath("Velmo.journal");
        Write(path, contents);
        THistory h;
        h.Open(path);
        QVERIFY(h.Persistent());
        QVERIFY(h.State().Steps.empty());
        QCOMPARE(!h.SetAsideName().isEmpty(), setAside);
        if (setAside)
            QCOMPARE(Read(h.SetAsideName()), contents); // kept as it was
        QVERIFY(h.Add(Step(skCopy, "/a", "/b")));
        THistory again;
        again.Open(path);
        QCOMPARE(again.State().Steps.size(), size_t(1));
    }

    // Undo and redo walk one list; a new step ends what could be redone; a
    // step that can never be undone leaves; the oldest fall off past the
    // limit, and the journal is rewritten before it grows without end.
    void historyRules() {
        TSandbox box;
        const QString path = box.filePath("Velmo.journal");
        THistory h;
        h.Open(path);
        QVERIFY(!h.UndoStep() && !h.RedoStep());
        for (int i = 0; i < 3; ++i)
            h.Add(Step(skMove, QString("/p/%1").arg(i), QString("/o/%1").arg(i)));
        QCOMPARE(h.UndoStep()->Source, QString("/p/2"));
        h.Undone(*h.UndoStep());
        h.Undone(*h.UndoStep());
        QCOMPARE(h.UndoStep()->Source, QString("/p/0"));
        QCOMPARE(h.RedoStep()->Source, QString("/p/1"));
        h.Redone(*h.RedoStep());
        QCOMPARE(h.RedoStep()->Source, QString("/p/2"));
        h.Drop(); // /p/1 can never come back
        QCOMPARE(h.UndoStep()->Source, QString("/p/0"));
        QCOMPARE(h.RedoStep()->Source, QString("/p/2"));
        h.Add(Step(skCopy, "/p/9", "/o/9"));
        QVERIFY(!h.RedoStep());
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
        Write(path, many);
        h.Open(path);
        QCOMPARE(h.State().Steps.size(), size_t(kHistoryLimit));
        QCOMPARE(h.RecordCount(), kHistoryLimit);
        h.Undone(*h.UndoStep());
        THistory again;
        again.Open(path);
        QCOMPARE(again.State().Steps, h.State().Steps);
        QCOMPARE(again.State().Done, kHistoryLimit - 1);
        QCOMPARE(again.State().Steps.front().Source, QString("/q/%1").arg(n - kHistoryLimit));
        QCOMPARE(again.UndoStep()->Source, QString("/q/%1").arg(n - 2));
        h.Add(Step(skCopy, "/p/new", "/o/new")); // numbered after every earlier step
        QVERIFY(h.UndoStep()->Id >= quint64(100 + n));
    }

    void captions() {
        THistoryStep s = Step(skMove, "/p/p03.jpg", "/o/p03.jpg");
        QCOMPARE(UndoCaption(&s), QString("元に戻す: p03.jpg の移動"));
        QCOMPARE(RedoCaption(&s), QString("やり直し: p03.jpg の移動"));
        s.Kind = skDelete;
        QCOMPARE(UndoCaption(&s), QString("元に戻す: p03.jpg の削除 (元に戻せません)"));
        QCOMPARE(UndoCaption(nullptr), QString("元に戻す(&U)"));
        QCOMPARE(RedoCaption(nullptr), QString("やり直し(&R)"));
    }
};

QTEST_MAIN(TestHistory)
#include "test_history.moc"
