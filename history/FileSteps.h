#pragma once

#include "history/History.h"
#include "platform/FileOperation.h"

#include <QString>
#include <QStringList>

class QWidget;

// What to do when a file's place is taken by another file of the same name.
enum TClashPolicy {
    cpAsk, // replace, asking first when the caller wants it; the replaced file goes to the trash
    cpKeepBoth, // the file comes under the first free name "name (2).jpg", "name (3).jpg", ...
    cpSkip,     // nothing happens
};
// The policy of the [ACTION] Clash setting: 1 keep both, 2 skip, anything else ask.
TClashPolicy ClashPolicyOf(int setting);

// What the file steps need from the person at the screen.
class TStepQuestions {
public:
    virtual ~TStepQuestions() = default;
    // Whether the file at `target` may be replaced; `undoing` for an undo
    // (then No is the default answer).
    virtual bool AskOverwrite(const QString& target, bool undoing) = 0;
    // Why a step cannot be taken (a box).
    virtual void Refuse(const QString& text) = 0;
    // Something left as it was, or worth knowing (a line in the status bar).
    virtual void Note(const QString& text) = 0;
};

// The sorting's file steps, each taken through the safe file operations and
// written to the history once done, and their undo and redo. Nothing is ever
// destroyed on the way: a replaced file goes to the trash first, a changed
// file is not taken back.
class TFileSteps {
public:
    TFileSteps(QWidget* owner, THistory& history, TStepQuestions& questions)
        : Owner(owner), History(history), Questions(questions) {}

    TClashPolicy Policy = cpAsk;
    // With cpAsk, whether to ask before replacing a file while sorting (undo
    // always asks).
    bool AskBeforeOverwrite = true;

    // Every path whose file may have come or gone in the last call.
    QStringList Touched;

    // Each answers whether the file step happened. A target holding the same
    // bytes as the source is the same picture: a copy then does nothing, a
    // move only removes the source.
    bool Copy(const QString& source, const QString& target);
    bool Move(const QString& source, const QString& target);
    bool Trash(const QString& path);
    // A file that was removed for good: its entry says it cannot come back.
    void DeletedForGood(const QString& path);

    // Take back the last done step, or take the first undone one again;
    // true when the history moved.
    bool Undo();
    bool Redo();

    // Settles the intents a crash left pending (THistory::Begin): a step
    // whose files all got where it was taking them is completed in the
    // history, one that changed none is forgotten, and one that changed
    // some of them is rolled back. A complete copy that still has its source
    // loses the source only to the trash. Our own unfinished copies beside
    // a member's target go. Run once at start; notes what it did.
    void Recover();

private:
    enum TTransferKind { tkCopy, tkMove, tkRestore };
    struct TTransfer {
        bool Done = false;      // the file is at Target (or nothing was needed)
        bool Identical = false; // Target held the same bytes already
        QString Target;
        QString Replaced;   // the file that was at Target, now in the trash
        quint64 Intent = 0; // the intent to complete with the step's record
    };
    // What the step records once its file is in place: the record's kind,
    // the step as it will be, and whether the file's new place is the
    // step's Source (an undo) or its Target.
    struct TPlan {
        TJournalOp Op = joDone;
        THistoryStep Step;
        bool IntoSource = false;
    };
    // Brings a file to `target`, the clash policy deciding when the place is
    // taken. For a restore, `from` is the file in the trash and `origin` where
    // it was trashed from.
    TTransfer Transfer(TTransferKind kind, const QString& from, const QString& target, bool ask,
                       const TPlan& plan, const QString& origin = QString());
    TFileOpResult Run(TTransferKind kind, const QString& from, const QString& target,
                      const QString& origin);
    bool Restore(const QString& inTrash, const QString& place);
    bool Record(const THistoryStep& step, TJournalOp op, quint64 intent = 0);
    enum TMemberState { msNone, msDone, msHalf, msUnknown };
    TMemberState StateOf(const TIntentMember& member, bool copy) const;
    void Settle(const TJournalRecord& intent);
    // A step whose file changed since: refused, and out of the history.
    void RefuseChanged(const QString& path);
    void RefuseMissing(const QString& path);
    // Whether the folder of `path` is there to take a file back.
    bool FolderStillThere(const QString& path);
    void Touch(const QString& path);

    QWidget* Owner;
    THistory& History;
    TStepQuestions& Questions;
};
