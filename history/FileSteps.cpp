#include "history/FileSteps.h"

#include "platform/FileCopy.h"
#include "platform/FileDelete.h"
#include "platform/FileMove.h"
#include "platform/FileName.h"
#include "platform/FileStamp.h"
#include "platform/FileTrash.h"
#include "platform/TrashRestore.h"

#include <QFileInfo>

#include <sys/stat.h>

namespace {
const QChar CR(13);

bool IsFolder(const QString& path) {
    struct stat st;
    return ::stat(PathToBytes(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString NameOf(const QString& path) {
    return DisplayPath(QFileInfo(path).fileName());
}

// A stamp without its hash: what a move keeps of a file.
TFileStamp SizeAndTime(const TFileStamp& stamp) {
    TFileStamp plain = stamp;
    plain.Hash.clear();
    return plain;
}
} // namespace

TClashPolicy ClashPolicyOf(int setting) {
    return setting == 1 ? cpKeepBoth : setting == 2 ? cpSkip : cpAsk;
}

void TFileSteps::Touch(const QString& path) {
    if (!path.isEmpty() && !Touched.contains(path))
        Touched << path;
}

TFileOpResult TFileSteps::Run(TTransferKind kind, const QString& from, const QString& target,
                              const QString& origin) {
    switch (kind) {
    case tkCopy:
        return ShellCopyFile(Owner, from, target);
    case tkMove:
        return ShellMoveFile(Owner, from, target);
    case tkRestore:
        break;
    }
    return ShellRestoreFromTrash(Owner, from, origin, target);
}

bool TFileSteps::Restore(const QString& inTrash, const QString& place) {
    Touch(place);
    return ShellRestoreFromTrash(Owner, inTrash, place, place) == forDone;
}

TFileSteps::TTransfer TFileSteps::Transfer(TTransferKind kind, const QString& from,
                                           const QString& target, bool ask, const QString& origin) {
    TTransfer t;
    t.Target = target;
    Touch(from);
    Touch(target);
    if (PathTaken(target) && !IsFolder(target)) {
        if (SameFile(from, target)) {
            Questions.Note(NameOf(target) + QStringLiteral(" は移動元と同じファイルです。"));
            return t;
        }
        if (SameBytes(from, target)) {
            // The same picture is there already: a copy has nothing to do, a
            // move only removes its source (a trashed one stays in the trash).
            t.Identical = true;
            if (kind == tkMove && !DeleteFileForGood(from)) {
                Questions.Refuse(DisplayPath(from) + CR + QStringLiteral("を削除できません。"));
                return t;
            }
            t.Done = true;
            return t;
        }
        switch (Policy) {
        case cpSkip:
            Questions.Note(NameOf(target) +
                           QStringLiteral(": 同じ名前のファイルがあるため、スキップしました。"));
            return t;
        case cpKeepBoth:
            t.Target = FreeNumberedPath(target);
            Touch(t.Target);
            break;
        case cpAsk:
            if (ask && !Questions.AskOverwrite(target))
                return t;
            // The file in the way goes to the trash first, so it can come back.
            if (ShellDeleteToTrash(Owner, target, &t.Replaced) != forDone)
                return t;
            break;
        }
    }
    if (Run(kind, from, t.Target, origin) != forDone) {
        if (!t.Replaced.isEmpty())
            Restore(t.Replaced, target);
        t.Replaced.clear();
        return t;
    }
    t.Done = true;
    return t;
}

bool TFileSteps::Record(const THistoryStep& step, TJournalOp op) {
    bool written = false;
    switch (op) {
    case joDone: {
        THistoryStep grouped = step;
        grouped.Group = Group;
        written = History.Add(grouped);
        break;
    }
    case joUndone:
        written = History.Undone(step);
        break;
    case joRedone:
        written = History.Redone(step);
        break;
    case joDropped:
        written = History.Drop();
        break;
    }
    if (!written)
        Questions.Note(
            QStringLiteral("履歴をファイルに記録できません。次に起動したときには元に戻せません。"));
    Touch(step.Source);
    Touch(step.Target);
    return written;
}

void TFileSteps::RefuseChanged(const QString& path) {
    Questions.Refuse(DisplayPath(path) + CR +
                     QStringLiteral("はこの操作の後に変更されたため、元に戻せません。") + CR +
                     QStringLiteral("この操作は履歴から外します。"));
    Record(THistoryStep(), joDropped);
}

void TFileSteps::RefuseMissing(const QString& path) {
    Questions.Refuse(DisplayPath(path) + CR +
                     QStringLiteral("が見つからないため、この操作はできません。"));
}

bool TFileSteps::Copy(const QString& source, const QString& target) {
    Touched.clear();
    const TTransfer t = Transfer(tkCopy, source, target, AskBeforeOverwrite);
    if (!t.Done)
        return false;
    if (t.Identical) {
        Questions.Note(NameOf(target) + QStringLiteral(": 同じ内容のファイルが既にあります。"));
        return true;
    }
    THistoryStep step;
    step.Kind = skCopy;
    step.Source = source;
    step.Target = t.Target;
    step.Replaced = t.Replaced;
    StampFile(t.Target, true, step.Stamp);
    Record(step, joDone);
    return true;
}

bool TFileSteps::Move(const QString& source, const QString& target) {
    Touched.clear();
    const TTransfer t = Transfer(tkMove, source, target, AskBeforeOverwrite);
    if (!t.Done)
        return false;
    THistoryStep step;
    step.Kind = skMove;
    step.Source = source;
    step.Target = t.Target;
    step.Replaced = t.Replaced;
    step.Identical = t.Identical;
    StampFile(t.Target, false, step.Stamp);
    Record(step, joDone);
    return true;
}

bool TFileSteps::Trash(const QString& path) {
    Touched = QStringList{path};
    THistoryStep step;
    step.Kind = skTrash;
    step.Source = path;
    StampFile(path, false, step.Stamp);
    if (ShellDeleteToTrash(Owner, path, &step.Target) != forDone)
        return false;
    Record(step, joDone);
    return true;
}

void TFileSteps::DeletedForGood(const QString& path) {
    Touched = QStringList{path};
    THistoryStep step;
    step.Kind = skDelete;
    step.Source = path;
    Record(step, joDone);
}

bool TFileSteps::Undo() {
    Touched.clear();
    const THistoryStep* top = History.UndoStep();
    if (!top)
        return false;
    THistoryStep step = *top;
    Touch(step.Source);
    Touch(step.Target);
    switch (step.Kind) {
    case skDelete:
        // Nothing brings it back; undo says so and passes on to the steps before.
        Questions.Refuse(DisplayPath(step.Source) + CR +
                         QStringLiteral("は完全に削除したため、元に戻せません。"));
        break;
    case skCopy:
        if (step.Identical)
            break;
        if (PathTaken(step.Target)) {
            if (!StampMatches(step.Target, step.Stamp)) {
                RefuseChanged(step.Target);
                return true;
            }
            // The copy goes; into the trash when its original is no longer
            // there, byte for byte, to stand for it.
            if (SameBytes(step.Source, step.Target)
                    ? !DeleteFileForGood(step.Target)
                    : ShellDeleteToTrash(Owner, step.Target) != forDone)
                return false;
        }
        if (!step.Replaced.isEmpty())
            Restore(step.Replaced, step.Target);
        step.Replaced.clear();
        break;
    case skMove: {
        const bool there = PathTaken(step.Target);
        if (!there && !step.Identical && StampMatches(step.Source, SizeAndTime(step.Stamp)))
            break; // back already
        if (!there) {
            RefuseMissing(step.Target);
            return false;
        }
        if (!StampMatches(step.Target, step.Stamp)) {
            RefuseChanged(step.Target);
            return true;
        }
        // The same safe operations as the sorting, across filesystems too.
        const TTransfer t =
            Transfer(step.Identical ? tkCopy : tkMove, step.Target, step.Source, true);
        if (!t.Done)
            return false;
        step.Source = t.Target;
        if (!step.Replaced.isEmpty())
            Restore(step.Replaced, step.Target);
        step.Replaced.clear();
        break;
    }
    case skTrash: {
        const bool inTrash = PathTaken(step.Target);
        if (!inTrash && StampMatches(step.Source, step.Stamp))
            break; // restored already, from the desktop's trash
        if (!inTrash || !StampMatches(step.Target, step.Stamp)) {
            RefuseChanged(step.Target);
            return true;
        }
        const TTransfer t = Transfer(tkRestore, step.Target, step.Source, true, step.Source);
        if (!t.Done)
            return false;
        step.Source = t.Target;
        break;
    }
    }
    Record(step, joUndone);
    return true;
}

bool TFileSteps::Redo() {
    Touched.clear();
    const THistoryStep* next = History.RedoStep();
    if (!next)
        return false;
    THistoryStep step = *next;
    Touch(step.Source);
    Touch(step.Target);
    if (step.Kind != skDelete) {
        // The file must be the one the step took.
        if (!PathTaken(step.Source)) {
            RefuseMissing(step.Source);
            return false;
        }
        if (step.Kind != skCopy && !StampMatches(step.Source, SizeAndTime(step.Stamp))) {
            Questions.Refuse(DisplayPath(step.Source) + CR +
                             QStringLiteral("はこの操作の後に変更されたため、やり直せません。"));
            return false;
        }
    }
    switch (step.Kind) {
    case skDelete:
        break; // gone already: redo passes on
    case skCopy:
    case skMove: {
        const TTransfer t = Transfer(step.Kind == skCopy ? tkCopy : tkMove, step.Source,
                                     step.Target, AskBeforeOverwrite);
        if (!t.Done)
            return false;
        step.Target = t.Target;
        step.Replaced = t.Replaced;
        step.Identical = t.Identical;
        StampFile(step.Target, step.Kind == skCopy, step.Stamp);
        break;
    }
    case skTrash:
        if (ShellDeleteToTrash(Owner, step.Source, &step.Target) != forDone)
            return false;
        break;
    }
    Record(step, joRedone);
    return true;
}
