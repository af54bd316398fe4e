#pragma once

#include "platform/FileStamp.h"

#include <QString>
#include <QtGlobal>

// One sorting step that undo can take back and redo can take again.
enum TStepKind {
    skCopy,   // Source copied to Target
    skMove,   // Source moved to Target
    skTrash,  // Source moved into the trash, where it is Target
    skDelete, // Source removed for good: nothing can bring it back
};

struct THistoryStep {
    quint64 Id = 0;
    TStepKind Kind = skCopy;
    // Where the file was before the step and where it is after it. Undo and
    // redo keep them current: a file that goes back under another name
    // (both kept) is looked for there next time.
    QString Source;
    QString Target;
    // The file at Target after the step: copies carry a hash of their
    // contents, moves and trashings size and time only.
    TFileStamp Stamp;
    // The file an overwrite replaced, now in the trash ("" when none).
    QString Replaced;
    // A move whose target already held the same bytes: only the source was
    // removed, and undo copies it back from the target.
    bool Identical = false;
    // Steps of files that travel together (a picture and its companions)
    // share this number and follow each other in the history; 0: alone.
    quint64 Group = 0;
    bool operator==(const THistoryStep&) const = default;
};

// The captions of the two commands for the step they would take: "元に戻す:
// p03.jpg の移動", "やり直し: p03.jpg のコピー"; without a step the plain
// captions "元に戻す(&U)" and "やり直し(&R)".
QString UndoCaption(const THistoryStep* step);
QString RedoCaption(const THistoryStep* step);

// The history keeps this many steps; older ones fall off.
constexpr int kHistoryLimit = 1000;
