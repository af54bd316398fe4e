// What a start does with the intents a crash left behind in the journal.
#include "history/FileSteps.h"

#include "platform/FileCopy.h"
#include "platform/FileMove.h"
#include "platform/FileName.h"
#include "platform/FileStamp.h"
#include "platform/FileTrash.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// Whether a member's files are copied (the rest move): a copy step, and
// the undo of a move whose target held the same bytes.
bool CopiesFiles(const TJournalRecord& intent) {
    return intent.Step.Kind == skCopy || (intent.Planned == joUndone && intent.Step.Identical);
}

// Our own unfinished copies for `target` (".name.velmo-xxxx.tmp" beside it),
// left by a crash on a filesystem without unnamed files: they go.
void RemoveOwnTemporaries(const QString& target) {
    const QFileInfo info(target);
    const QString prefix = QLatin1Char('.') + info.fileName().left(40) + QStringLiteral(".velmo-");
    const QDir folder(info.path());
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!name.startsWith(prefix) || !name.endsWith(QStringLiteral(".tmp")))
            continue;
        const QByteArray path = PathToBytes(folder.filePath(name));
        struct stat st;
        if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid())
            ::unlink(path.constData());
    }
}
} // namespace

TFileSteps::TMemberState TFileSteps::StateOf(const TIntentMember& member, bool copy) const {
    const bool source = PathTaken(member.Source);
    // A file at the target is ours when it has the source's size and time
    // (copies and moves keep both), and, with the source still there, its bytes.
    const bool target = PathTaken(member.Target) && StampMatches(member.Target, member.Stamp);
    if (!target)
        return source ? msNone : msUnknown;
    if (!source)
        return msDone;
    if (SameFile(member.Source, member.Target) || !SameBytes(member.Source, member.Target))
        return msNone;
    return copy ? msDone : msHalf;
}

void TFileSteps::Settle(const TJournalRecord& intent) {
    const bool copy = CopiesFiles(intent);
    std::vector<TMemberState> states;
    int done = 0, none = 0, unknown = 0;
    for (const TIntentMember& m : intent.Members) {
        states.push_back(StateOf(m, copy));
        Touch(m.Source);
        Touch(m.Target);
        RemoveOwnTemporaries(m.Target);
        done += states.back() == msDone || states.back() == msHalf;
        none += states.back() == msNone;
        unknown += states.back() == msUnknown;
    }
    const QString name = DisplayPath(QFileInfo(intent.Members.front().Source).fileName());
    if (unknown || done == 0) {
        // Nothing changed, or files moved on since by someone else: the
        // files stay as they are.
        History.Abandon(intent.Intent);
        if (unknown)
            Questions.Note(name + QStringLiteral(": 中断された操作の結果を確かめられないため、"
                                                 "ファイルはそのままにしました。"));
        return;
    }
    if (none == 0) {
        // Every file got there: a move that still has its source sends
        // that copy to the trash, and the step is recorded.
        for (size_t i = 0; i < states.size(); ++i)
            if (states[i] == msHalf)
                ShellDeleteToTrash(Owner, intent.Members[i].Source);
        THistoryStep step = intent.Step;
        if (intent.Planned != joUndone)
            StampFile(step.Target, step.Kind == skCopy, step.Stamp);
        const THistoryStep* top = intent.Planned == joUndone   ? History.UndoStep()
                                  : intent.Planned == joRedone ? History.RedoStep()
                                                               : nullptr;
        if (intent.Planned != joDone && (!top || top->Id != step.Id)) {
            History.Abandon(intent.Intent);
            return;
        }
        Record(step, intent.Planned, intent.Intent);
        Questions.Note(name + QStringLiteral(": 中断された操作を完了しました。"));
        return;
    }
    // Some files got there, some did not: those that did go back.
    for (size_t i = 0; i < states.size(); ++i) {
        const TIntentMember& m = intent.Members[i];
        if (states[i] == msHalf || (states[i] == msDone && copy))
            ShellDeleteToTrash(Owner, m.Target);
        else if (states[i] == msDone)
            ShellMoveFile(Owner, m.Target, m.Source, true);
    }
    History.Abandon(intent.Intent);
    Questions.Note(name + QStringLiteral(": 中断された操作を取り消しました。"));
}

void TFileSteps::Recover() {
    Touched.clear();
    const std::vector<TJournalRecord> pending = History.Pending();
    for (const TJournalRecord& intent : pending)
        if (!intent.Members.empty())
            Settle(intent);
}
