#include "history/GroupSteps.h"

#include "history/FileGroups.h"
#include "platform/FileAccess.h"
#include "platform/FileCopy.h"
#include "platform/FileDelete.h"
#include "platform/FileMove.h"
#include "platform/FileName.h"
#include "platform/FileStamp.h"
#include "platform/FileTrash.h"
#include "platform/TrashRestore.h"

#include <QFileInfo>
#include <QScopeGuard>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {
const QChar CR(13);

QString NameOf(const QString& path) {
    return QFileInfo(path).fileName();
}

QString InFolder(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}

// The group's label from its paths, the lead's first.
QString LabelOf(const QStringList& paths) {
    QStringList names;
    for (const QString& p : paths)
        names << NameOf(p);
    return DisplayPath(GroupLabel(names.front(), names.mid(1)));
}

bool Writable(const QString& folder) {
    return ::access(PathToBytes(folder).constData(), W_OK | X_OK) == 0;
}

// What a move keeps of a file: size and time.
TFileStamp SizeAndTime(TFileStamp stamp) {
    stamp.Hash.clear();
    return stamp;
}

// Whether undo can take the step back now: 0 yes, 1 a file is missing,
// 2 a file changed since.
int TakeBackState(const THistoryStep& s) {
    switch (s.Kind) {
    case skDelete:
        return 0;
    case skCopy:
        return !s.Identical && PathTaken(s.Target) && !StampMatches(s.Target, s.Stamp) ? 2 : 0;
    case skMove:
        if (!PathTaken(s.Target))
            return !s.Identical && StampMatches(s.Source, SizeAndTime(s.Stamp)) ? 0 : 1;
        return StampMatches(s.Target, s.Stamp) ? 0 : 2;
    case skTrash:
        if (!PathTaken(s.Target) && StampMatches(s.Source, s.Stamp))
            return 0;
        return PathTaken(s.Target) && StampMatches(s.Target, s.Stamp) ? 0 : 2;
    }
    return 0;
}
} // namespace

void TGroupSteps::TouchAll(const QStringList& paths) {
    for (const QString& p : paths)
        if (!p.isEmpty() && !Touched.contains(p))
            Touched << p;
}

bool TGroupSteps::Refused(const QString& path, const char* why) {
    Questions.Refuse(DisplayPath(path) + CR + QString::fromUtf8(why) + CR +
                     QStringLiteral("組のファイルはどれも動かしていません。"));
    return false;
}

QStringList TGroupSteps::Present(const QStringList& members) {
    QStringList present;
    QStringList missing;
    for (const QString& m : members)
        (FileFacts(m).IsFile ? present : missing) << m;
    if (members.isEmpty() || present.isEmpty() || present.front() != members.front()) {
        if (!members.isEmpty())
            Questions.Refuse(DisplayPath(members.front()) + CR +
                             QStringLiteral("が見つからないため、この操作はできません。"));
        return {};
    }
    if (!missing.isEmpty()) {
        QStringList names;
        for (const QString& m : missing)
            names << DisplayPath(NameOf(m));
        Questions.Note(names.join(QStringLiteral("、")) +
                       QStringLiteral(" が見つからないため、残りのファイルだけを扱いました。"));
    }
    return present;
}

QStringList TGroupSteps::Targets(const QStringList& members, const QString& folder) {
    QStringList targets;
    QStringList taken;
    for (const QString& m : members) {
        targets << InFolder(folder, NameOf(m));
        const QString& t = targets.back();
        // The same picture already there is no clash: its step only tidies.
        if (PathTaken(t) && !(FileFacts(t).IsFile && SameBytes(m, t)))
            taken << t;
    }
    if (SameFile(members.front(), targets.front())) {
        Questions.Note(DisplayPath(NameOf(members.front())) +
                       QStringLiteral(" は移動元と同じファイルです。"));
        return {};
    }
    if (taken.isEmpty())
        return targets;
    switch (Policy) {
    case cpSkip:
        Questions.Note(LabelOf(members) +
                       QStringLiteral(": 同じ名前のファイルがあるため、スキップしました。"));
        return {};
    case cpKeepBoth: {
        // One number free for every member, so the group stays together.
        const QString stem = NameStem(NameOf(members.front()));
        for (int n = 2;; ++n) {
            QStringList numbered;
            for (const QString& m : members)
                numbered << InFolder(folder, GroupNumberedName(NameOf(m), stem, n));
            if (std::none_of(numbered.cbegin(), numbered.cend(), PathTaken))
                return numbered;
        }
    }
    case cpAsk:
        if (AskBeforeOverwrite && !Questions.AskOverwrite(InFolder(folder, LabelOf(taken)), false))
            return {};
        break;
    }
    return targets;
}

bool TGroupSteps::CanTake(TKind kind, const QStringList& members, const QString& folder) {
    const QString from = QFileInfo(members.front()).path();
    if (kind != gkCopy && !Writable(from))
        return Refused(from, "のファイルを動かせません (書き込みの権限がありません)。");
    if (kind == gkTrash)
        return true;
    if (!Writable(folder))
        return Refused(folder, "に書き込めません。");
    struct stat source {};
    struct stat target {};
    struct statvfs room {};
    if (::stat(PathToBytes(from).constData(), &source) != 0 ||
        ::stat(PathToBytes(folder).constData(), &target) != 0 ||
        ::statvfs(PathToBytes(folder).constData(), &room) != 0)
        return true; // the steps themselves tell what is wrong
    if (kind == gkMove && source.st_dev == target.st_dev)
        return true; // renames: no room needed
    qint64 needed = 0;
    for (const QString& m : members)
        needed += FileFacts(m).Size;
    if (quint64(needed) > quint64(room.f_bavail) * room.f_frsize)
        return Refused(folder, "に空きが足りません。");
    return true;
}

bool TGroupSteps::Take(TKind kind, const QStringList& members, const QStringList& targets) {
    const quint64 group = History.NextStepId();
    const TClashPolicy policy = Steps.Policy;
    const bool ask = Steps.AskBeforeOverwrite;
    // The clash is decided: a member's file in the way is replaced (into
    // the trash) without another question.
    Steps.Policy = cpAsk;
    Steps.AskBeforeOverwrite = false;
    Steps.Group = group;
    const auto restore = qScopeGuard([&] {
        Steps.Policy = policy;
        Steps.AskBeforeOverwrite = ask;
        Steps.Group = 0;
    });
    // Written ahead: a crash between two members leaves the whole plan in
    // the journal for the next start.
    quint64 intent = 0;
    if (kind != gkTrash) {
        THistoryStep plan;
        plan.Kind = kind == gkCopy ? skCopy : skMove;
        plan.Source = members.front();
        plan.Target = targets.front();
        plan.Group = group;
        std::vector<TIntentMember> planned;
        for (qsizetype i = 0; i < members.size(); ++i) {
            planned.push_back({members[i], targets[i], {}});
            StampFile(members[i], false, planned.back().Stamp);
        }
        intent = History.Begin(joDone, plan, planned);
    }
    // The lead last: it stands on top of the history and names the group.
    for (qsizetype i = members.size() - 1; i >= 0; --i) {
        if (StopAfter == members.size() - 1 - i)
            return false;
        const bool done = kind == gkCopy   ? Steps.Copy(members[i], targets[i])
                          : kind == gkMove ? Steps.Move(members[i], targets[i])
                                           : Steps.Trash(members[i]);
        TouchAll(Steps.Touched);
        if (!done) {
            Steps.Group = 0;
            TakeBack(group);
            if (intent)
                History.Abandon(intent);
            Questions.Note(LabelOf(members) +
                           QStringLiteral(": 組のファイルを元の場所に戻しました。"));
            return false;
        }
    }
    if (intent)
        History.Abandon(intent); // every member's own record stands
    return true;
}

void TGroupSteps::Recover() {
    Touched.clear();
    const std::vector<TJournalRecord> pending = History.Pending();
    for (const TJournalRecord& intent : pending) {
        const quint64 group = intent.Step.Group;
        if (group == 0 || intent.Members.empty())
            continue;
        const bool copy = intent.Step.Kind == skCopy;
        QStringList left;
        QStringList targets;
        QStringList all;
        bool folderGone = false;
        for (const TIntentMember& m : intent.Members) {
            all << m.Source;
            TouchAll({m.Source, m.Target});
            if (copy ? PathTaken(m.Target) : !PathTaken(m.Source))
                continue; // this one went
            left << m.Source;
            targets << m.Target;
            folderGone = folderGone || !FileFacts(QFileInfo(m.Target).path()).IsDir;
        }
        if (!left.isEmpty() && left.size() < all.size()) {
            bool finished = !folderGone;
            const TClashPolicy policy = Steps.Policy;
            const bool ask = Steps.AskBeforeOverwrite;
            Steps.Policy = cpAsk;
            Steps.AskBeforeOverwrite = false;
            Steps.Group = group;
            for (qsizetype i = left.size() - 1; finished && i >= 0; --i) {
                finished = copy ? Steps.Copy(left[i], targets[i]) : Steps.Move(left[i], targets[i]);
                TouchAll(Steps.Touched);
            }
            Steps.Policy = policy;
            Steps.AskBeforeOverwrite = ask;
            Steps.Group = 0;
            if (!finished)
                TakeBack(group);
            Questions.Note(LabelOf(all) +
                           (finished ? QStringLiteral(": 中断された組の操作を完了しました。")
                                     : QStringLiteral(": 中断された組の操作を取り消しました。")));
        }
        History.Abandon(intent.Intent);
    }
}

void TGroupSteps::TakeBack(quint64 group) {
    for (const THistoryStep* top = History.UndoStep(); top && top->Group == group;
         top = History.UndoStep()) {
        const THistoryStep s = *top;
        TFileOpResult back = forDone;
        switch (s.Kind) {
        case skCopy:
            back = DeleteFileForGood(s.Target) ? forDone : forFailed;
            break;
        case skMove:
            // Never over a file that took the name meanwhile.
            back = s.Identical ? ShellCopyFile(Owner, s.Target, s.Source, true)
                               : ShellMoveFile(Owner, s.Target, s.Source, true);
            break;
        case skTrash:
            back = ShellRestoreFromTrash(Owner, s.Target, s.Source, s.Source);
            break;
        case skDelete:
            break;
        }
        TouchAll({s.Source, s.Target});
        if (back != forDone) {
            // It stays in the history, where undo can try again.
            Questions.Refuse(DisplayPath(s.Target) + CR +
                             QStringLiteral("を元の場所に戻せません。元に戻す操作で戻せます。"));
            return;
        }
        if (!s.Replaced.isEmpty())
            ShellRestoreFromTrash(Owner, s.Replaced, s.Target, s.Target);
        History.Drop();
    }
}

bool TGroupSteps::Go(TKind kind, const QStringList& members, const QString& folder) {
    Touched.clear();
    // A file alone is a plain file step.
    const QStringList present = members.size() == 1 ? members : Present(members);
    if (present.isEmpty())
        return false;
    if (present.size() == 1) {
        const QString& file = present.front();
        const QString target = InFolder(folder, NameOf(file));
        const bool done = kind == gkCopy   ? Steps.Copy(file, target)
                          : kind == gkMove ? Steps.Move(file, target)
                                           : Steps.Trash(file);
        TouchAll(Steps.Touched);
        return done;
    }
    const QStringList targets = kind == gkTrash ? present : Targets(present, folder);
    return !targets.isEmpty() && CanTake(kind, present, folder) && Take(kind, present, targets);
}

bool TGroupSteps::Copy(const QStringList& members, const QString& folder) {
    return Go(gkCopy, members, folder);
}

bool TGroupSteps::Move(const QStringList& members, const QString& folder) {
    return Go(gkMove, members, folder);
}

bool TGroupSteps::Trash(const QStringList& members) {
    return Go(gkTrash, members, QString());
}

bool TGroupSteps::DeleteForGood(const QStringList& members) {
    Touched.clear();
    TouchAll(members);
    const QStringList present = members.size() == 1 ? members : Present(members);
    if (present.isEmpty() || (present.size() > 1 && !CanTake(gkTrash, present, QString())))
        return false;
    Steps.Group = present.size() > 1 ? History.NextStepId() : 0;
    const auto restore = qScopeGuard([&] { Steps.Group = 0; });
    QStringList failed;
    for (qsizetype i = present.size() - 1; i >= 0; --i) {
        if (DeleteFileForGood(present[i]))
            Steps.DeletedForGood(present[i]);
        else
            failed << DisplayPath(present[i]);
    }
    // A file alone that cannot be removed is left silently, as ever.
    if (!failed.isEmpty() && present.size() > 1)
        Questions.Refuse(failed.join(CR) + CR + QStringLiteral("を削除できません。"));
    return !FileFacts(present.front()).IsFile;
}

std::pair<int, int> TGroupSteps::UndoGroup() const {
    const THistoryState& s = History.State();
    int first = s.Done - 1;
    if (first < 0)
        return {0, 0};
    const quint64 g = s.Steps[size_t(first)].Group;
    while (g != 0 && first > 0 && s.Steps[size_t(first - 1)].Group == g)
        --first;
    return {first, s.Done};
}

std::pair<int, int> TGroupSteps::RedoGroup() const {
    const THistoryState& s = History.State();
    const int first = s.Done;
    if (first >= int(s.Steps.size()))
        return {first, first};
    const quint64 g = s.Steps[size_t(first)].Group;
    int last = first + 1;
    while (g != 0 && last < int(s.Steps.size()) && s.Steps[size_t(last)].Group == g)
        ++last;
    return {first, last};
}

QString TGroupSteps::GroupText(std::pair<int, int> range) const {
    const auto& steps = History.State().Steps;
    QStringList paths;
    for (int i = range.first; i < range.second - 1; ++i)
        paths << steps[size_t(i)].Source;
    paths.sort(); // as the list shows them
    paths.prepend(steps[size_t(range.second - 1)].Source);
    return LabelOf(paths);
}

bool TGroupSteps::AllOrNothing(int count, bool (TFileSteps::*step)(), bool (TFileSteps::*back)()) {
    int done = 0;
    while (done < count && (Steps.*step)()) {
        TouchAll(Steps.Touched);
        ++done;
    }
    TouchAll(Steps.Touched);
    if (done == count)
        return true;
    // What was taken goes back again.
    while (back && done-- > 0 && (Steps.*back)())
        TouchAll(Steps.Touched);
    return false;
}

bool TGroupSteps::Undo() {
    Touched.clear();
    const auto range = UndoGroup();
    const int count = range.second - range.first;
    if (count <= 1)
        return AllOrNothing(1, &TFileSteps::Undo, nullptr);
    // Copies, not references: the history changes under the steps below.
    const std::vector<THistoryStep> members(History.State().Steps.begin() + range.first,
                                            History.State().Steps.begin() + range.second);
    for (const THistoryStep& s : members)
        TouchAll({s.Source, s.Target});
    const QString label = GroupText(range);
    if (members.back().Kind == skDelete) {
        Questions.Refuse(label + CR + QStringLiteral("は完全に削除したため、元に戻せません。"));
        for (auto it = members.rbegin(); it != members.rend(); ++it)
            History.Undone(*it);
        return true;
    }
    // Every member must be able to come back before any does.
    for (const THistoryStep& s : members) {
        const int state = TakeBackState(s);
        if (state == 1) {
            Questions.Refuse(DisplayPath(s.Target) + CR +
                             QStringLiteral("が見つからないため、この操作はできません。"));
            return false;
        }
        if (state == 2) {
            Questions.Refuse(DisplayPath(s.Target) + CR +
                             QStringLiteral("はこの操作の後に変更されたため、元に戻せません。") +
                             CR + QStringLiteral("この操作は履歴から外します。"));
            for (int i = 0; i < count; ++i)
                History.Drop();
            return true;
        }
    }
    return AllOrNothing(count, &TFileSteps::Undo, &TFileSteps::Redo);
}

bool TGroupSteps::Redo() {
    Touched.clear();
    const auto range = RedoGroup();
    const int count = range.second - range.first;
    if (count <= 1)
        return AllOrNothing(1, &TFileSteps::Redo, nullptr);
    const std::vector<THistoryStep> members(History.State().Steps.begin() + range.first,
                                            History.State().Steps.begin() + range.second);
    for (const THistoryStep& s : members) {
        TouchAll({s.Source, s.Target});
        if (s.Kind != skDelete && !PathTaken(s.Source)) {
            Questions.Refuse(DisplayPath(s.Source) + CR +
                             QStringLiteral("が見つからないため、この操作はできません。"));
            return false;
        }
    }
    return AllOrNothing(count, &TFileSteps::Redo, &TFileSteps::Undo);
}

QString TGroupSteps::UndoCaption() const {
    const auto range = UndoGroup();
    if (range.second - range.first <= 1)
        return ::UndoCaption(History.UndoStep());
    THistoryStep lead = History.State().Steps[size_t(range.second - 1)];
    lead.Source = InFolder(QFileInfo(lead.Source).path(), GroupText(range));
    return ::UndoCaption(&lead);
}

QString TGroupSteps::RedoCaption() const {
    const auto range = RedoGroup();
    if (range.second - range.first <= 1)
        return ::RedoCaption(History.RedoStep());
    THistoryStep lead = History.State().Steps[size_t(range.second - 1)];
    lead.Source = InFolder(QFileInfo(lead.Source).path(), GroupText(range));
    return ::RedoCaption(&lead);
}
