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
    bool Add(THistoryStep step);
    // The undo step was taken back, or the redo step taken again; `now` is
    // its new state.
    bool Undone(const THistoryStep& now);
    bool Redone(const THistoryStep& now);
    // The undo step can never be taken back: it leaves the history.
    bool Drop();

    const THistoryState& State() const { return Current; }
    bool Persistent() const { return Fd >= 0; }
    QString SetAsideName() const { return SetAside; }
    // The number the next step added will carry.
    quint64 NextStepId() const { return NextId; }
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
};
