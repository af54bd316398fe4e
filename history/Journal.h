#pragma once

#include "history/HistoryStep.h"

#include <QByteArray>
#include <QString>
#include <vector>

// The journal of the sorting steps, a text file beside Velmo.ini. After its
// header line it is a series of records, one a line; each ends with a check
// value of its fields and the line end, its end marker, so a record cut
// short by a crash is recognised and ignored. Paths are kept as their exact
// bytes, percent-encoded.

// What happened to a step.
enum TJournalOp {
    joDone,    // a new step was taken (any undone steps after the last done one are gone)
    joUndone,  // the last done step was taken back; the fields are its state after that
    joRedone,  // the first undone step was taken again; the fields are its new state
    joDropped, // the last done step can never be taken back and leaves the history
    joIntent,  // a step's file changes are about to begin: Members, then Planned
    joAbandon, // the intent Intent came to nothing: every member is as it was
};

// One file of an intent: it goes from Source to Target (a move, or a copy
// when the intent's step is a copy). Stamp is the size and time of the file
// at Source when the intent was written, so a start can tell it at Target.
struct TIntentMember {
    QString Source;
    QString Target;
    TFileStamp Stamp;
    bool operator==(const TIntentMember&) const = default;
};

struct TJournalRecord {
    TJournalRecord() = default;
    TJournalRecord(TJournalOp op, const THistoryStep& step, quint64 intent = 0,
                   TJournalOp planned = joDone, std::vector<TIntentMember> members = {})
        : Op(op), Step(step), Intent(intent), Planned(planned), Members(std::move(members)) {}
    TJournalOp Op = joDone;
    THistoryStep Step;
    // joDone, joUndone, joRedone: the intent this record completes (0 none);
    // joIntent, joAbandon: the intent's own number.
    quint64 Intent = 0;
    // joIntent: the record that completes it (Op and Step, the step's stamp
    // taken afresh), and the files it changes, all or none of them.
    TJournalOp Planned = joDone;
    std::vector<TIntentMember> Members;
    bool operator==(const TJournalRecord&) const = default;
};

// The journal's first line.
QByteArray JournalHeader();

// One record as a complete line, end marker included.
QByteArray EncodeRecord(const TJournalRecord& record);
// Reads one line (without its line end); false when it is no valid record.
bool DecodeRecord(QByteArrayView line, TJournalRecord& record);

// What a journal's contents hold.
struct TJournalScan {
    enum TStatus { jsGood, jsTornTail, jsUnreadable } Status = jsGood;
    std::vector<TJournalRecord> Records;
    // The length of the contents up to the end of the last whole record
    // (the header alone, or 0 when not even the header is whole).
    qsizetype GoodLength = 0;
};

// Reads a journal: every whole record; a last line without its end marker is
// a torn record and ignored (jsTornTail); a bad header or a bad whole record
// makes the journal unreadable.
TJournalScan ScanJournal(const QByteArray& contents);

// The history a series of records leaves: its steps in order and how many of
// them are done (the rest are undone and can be redone). Records that do not
// fit (an undo of another step than the last done one) are passed over; at
// most kHistoryLimit steps are kept, the oldest dropped first.
struct THistoryState {
    std::vector<THistoryStep> Steps;
    int Done = 0;
    // Intents begun and neither completed nor abandoned, in order.
    std::vector<TJournalRecord> Pending;
};
void ApplyRecord(THistoryState& state, const TJournalRecord& record);

// The fewest records that give `state` again.
std::vector<TJournalRecord> RecordsFor(const THistoryState& state);
