#pragma once

#include "history/Journal.h"

#include <QString>

// The undo and redo history of the sorting steps, kept in a journal that
// outlives the program: each change is written and flushed to the disk
// before it counts. The journal's file stays open for the whole run.
class THistory {
public:
    THistory() = default;
    ~THistory();
    THistory(const THistory&) = delete;
    THistory& operator=(const THistory&) = delete;

    // Reads the journal at `path` (made when missing). A record cut short at
    // its end is cut off; a journal that cannot be read is renamed aside
    // (SetAsideName) and a new one begun. When no journal can be written the
    // history still works for this run (Persistent() is false).
    void Open(const QString& path);

    // The step undo would take back, and the one redo would take again.
    const THistoryStep* UndoStep() const;
    const THistoryStep* RedoStep() const;

    // A new step; the steps undone before it can no longer be redone.
    // Each answers false when the journal could not be written (the change
    // still holds for this run).
    // `intent`, when not 0, is the intent (Begin) the record completes.
    bool Add(THistoryStep step, quint64 intent = 0);
    // The undo step was taken back, or the redo step taken again; `now` is
    // its new state.
    bool Undone(const THistoryStep& now, quint64 intent = 0);
    bool Redone(const THistoryStep& now, quint64 intent = 0);

    // Write-ahead intents. Before a step changes its first file, Begin
    // writes what it is about to do: the files (`members`, all or none) and
    // the record that will complete it (`planned`: joDone, joUndone or
    // joRedone, with `step` as it will be, less its stamp). The record that
    // completes it (Add, Undone, Redone with the number) or Abandon (nothing
    // changed after all) ends it. An intent neither completed nor abandoned
    // is still Pending() at the next Open; TFileSteps::Recover settles it.
    // Answers the intent's number (never 0), also when it could not be
    // written.
    quint64 Begin(TJournalOp planned, const THistoryStep& step,
                  const std::vector<TIntentMember>& members);
    bool Abandon(quint64 intent);
    const std::vector<TJournalRecord>& Pending() const { return Current.Pending; }
    // The undo step can never be taken back: it leaves the history.
    bool Drop();

    const THistoryState& State() const { return Current; }
    bool Persistent() const { return Fd >= 0; }
    // Another running copy holds the journal: this one has no history.
    bool InUse() const { return Busy; }
    QString SetAsideName() const { return SetAside; }
    // How many records the journal file holds now.
    int RecordCount() const { return Records; }

private:
    bool Write(const TJournalRecord& record);
    // Writes the journal anew with the fewest records for the history.
    bool Rewrite();
    void CloseFile();

    QString Path;
    QString SetAside;
    THistoryState Current;
    quint64 NextId = 1;
    int Records = 0;
    int Fd = -1;
    int LockFd = -1; // Velmo.journal.lock, locked for the whole run
    bool Busy = false;
};
