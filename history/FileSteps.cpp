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
    plain.Inode = 0;
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
        return ShellCopyFile(Owner, from, target, true);
    case tkMove:
        return ShellMoveFile(Owner, from, target, true);
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
                                           const QString& target, bool ask, const TPlan& plan,
                                           const QString& origin) {
    TTransfer t;
    Touch(from);
    Touch(target);
    // The final step never replaces: a name that another program takes
    // meanwhile goes through the clash policy again.
    for (int round = 0; round < 3; ++round) {
        t.Target = target;
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
                Questions.Note(
                    NameOf(target) +
                    QStringLiteral(": 同じ名前のファイルがあるため、スキップしました。"));
                return t;
            case cpKeepBoth:
                t.Target = FreeNumberedPath(target);
                Touch(t.Target);
                break;
            case cpAsk:
                if (ask && !Questions.AskOverwrite(target, plan.Op == joUndone))
                    return t;
                // The file in the way goes to the trash first, so it can come back.
                if (ShellDeleteToTrash(Owner, target, &t.Replaced) != forDone)
                    return t;
                break;
            }
        }
        // The intent goes to the journal before the first change.
        THistoryStep planned = plan.Step;
        (plan.IntoSource ? planned.Source : planned.Target) = t.Target;
        planned.Replaced = plan.IntoSource ? QString() : t.Replaced;
        TIntentMember member{from, t.Target, {}};
        StampFile(from, false, member.Stamp);
        t.Intent = History.Begin(plan.Op, planned, {member});
        const TFileOpResult result = Run(kind, from, t.Target, origin);
        if (result == forDone) {
            t.Done = true;
            return t;
        }
        History.Abandon(t.Intent);
        t.Intent = 0;
        if (result != forTaken)
            break;
        // A file trashed in this round stays in the trash: its place is taken.
        t.Replaced.clear();
        if (round == 2)
            Questions.Refuse(DisplayPath(target) + CR +
                             QStringLiteral("は他のプログラムが同時に作成しているため、"
                                            "この操作はできません。"));
    }
    if (!t.Replaced.isEmpty())
        Restore(t.Replaced, target);
    t.Replaced.clear();
    return t;
}

bool TFileSteps::Record(const THistoryStep& step, TJournalOp op, quint64 intent) {
    bool written = false;
    switch (op) {
    case joDone:
        written = History.Add(step, intent);
        break;
    case joUndone:
        written = History.Undone(step, intent);
        break;
    case joRedone:
        written = History.Redone(step, intent);
        break;
    case joDropped:
        written = History.Drop();
        break;
    case joIntent:
    case joAbandon:
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

bool TFileSteps::FolderStillThere(const QString& path) {
    // A folder dragged elsewhere, or a memory card taken out: a new empty
    // folder (under the bare mount point) would hide the file.
    const QString folder = QFileInfo(path).path();
    if (IsFolder(folder))
        return true;
    Questions.Refuse(DisplayPath(folder) + CR +
                     QStringLiteral("が見つからないため、元に戻せません。") + CR +
                     QStringLiteral("フォルダを元の場所に戻すか、メディアを接続してください。"));
    return false;
}

void TFileSteps::RefuseMissing(const QString& path) {
    Questions.Refuse(DisplayPath(path) + CR +
                     QStringLiteral("が見つからないため、この操作はできません。"));
}

bool TFileSteps::Copy(const QString& source, const QString& target) {
    Touched.clear();
    TPlan plan;
    plan.Step.Kind = skCopy;
    plan.Step.Source = source;
    const TTransfer t = Transfer(tkCopy, source, target, AskBeforeOverwrite, plan);
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
    Record(step, joDone, t.Intent);
    return true;
}

bool TFileSteps::Move(const QString& source, const QString& target) {
    Touched.clear();
    TPlan plan;
    plan.Step.Kind = skMove;
    plan.Step.Source = source;
    const TTransfer t = Transfer(tkMove, source, target, AskBeforeOverwrite, plan);
    if (!t.Done)
        return false;
    THistoryStep step;
    step.Kind = skMove;
    step.Source = source;
    step.Target = t.Target;
    step.Replaced = t.Replaced;
    step.Identical = t.Identical;
    StampFile(t.Target, false, step.Stamp);
    Record(step, joDone, t.Intent);
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
    quint64 intent = 0;
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
            // Only the very file the step made: its inode, size, time and bytes.
            if (!step.Stamp.Inode || !StampMatches(step.Target, step.Stamp)) {
                RefuseChanged(step.Target);
                return true;
            }
            // The copy goes to the trash: a record is no reason to destroy
            // a file for good.
            if (ShellDeleteToTrash(Owner, step.Target) != forDone)
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
        if (!step.Stamp.Inode || !StampMatches(step.Target, step.Stamp)) {
            RefuseChanged(step.Target);
            return true;
        }
        if (!FolderStillThere(step.Source))
            return false;
        // The same safe operations as the sorting, across filesystems too.
        const TTransfer t = Transfer(step.Identical ? tkCopy : tkMove, step.Target, step.Source,
                                     true, {joUndone, step, true});
        if (!t.Done)
            return false;
        intent = t.Intent;
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
        if (!inTrash) {
            // The trash was emptied, or the file removed from it.
            Questions.Refuse(DisplayPath(step.Source) + CR +
                             QStringLiteral("はごみ箱にもうないため、元に戻せません。") + CR +
                             QStringLiteral("この操作は履歴から外します。"));
            Record(THistoryStep(), joDropped);
            return true;
        }
        if (!StampMatches(step.Target, step.Stamp)) {
            RefuseChanged(step.Target);
            return true;
        }
        if (!FolderStillThere(step.Source))
            return false;
        const TTransfer t = Transfer(tkRestore, step.Target, step.Source, true,
                                     {joUndone, step, true}, step.Source);
        if (!t.Done)
            return false;
        intent = t.Intent;
        step.Source = t.Target;
        break;
    }
    }
    Record(step, joUndone, intent);
    return true;
}

bool TFileSteps::Redo() {
    Touched.clear();
    const THistoryStep* next = History.RedoStep();
    if (!next)
        return false;
    THistoryStep step = *next;
    quint64 intent = 0;
    Touch(step.Source);
    Touch(step.Target);
    if (step.Kind == skMove && !PathTaken(step.Source) &&
        StampMatches(step.Target, SizeAndTime(step.Stamp))) {
        // Taken again already (a crash before its record): only the record.
        Record(step, joRedone);
        return true;
    }
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
                                     step.Target, AskBeforeOverwrite, {joRedone, step, false});
        if (!t.Done)
            return false;
        intent = t.Intent;
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
    Record(step, joRedone, intent);
    return true;
}
