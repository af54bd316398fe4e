#include "shelltree/ShellDropWork.h"

#include "platform/FileCopy.h"
#include "platform/FileMove.h"
#include "platform/FileName.h"
#include "platform/FileTrash.h"
#include "platform/MessageBox.h"

#include <QRandomGenerator>

#include <algorithm>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <map>
#include <set>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <utility>

namespace {
enum TStepKind { skMakeDir, skFile, skCopyLink, skRemoveDir, skRename, skLink, skTrash };

struct TStep {
    TStepKind Kind;
    QString From, To;
    mode_t Mode = 0;
    // The user said the item there may go; else one that turns up there
    // meanwhile stops the step.
    bool Replace = false;
};

QString Join(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

QString NameOf(QString path) {
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString FolderOf(const QString& path) {
    return path.left(std::max<qsizetype>(1, path.lastIndexOf(QLatin1Char('/'))));
}

bool Lstat(const QString& path, struct stat& st) {
    return ::lstat(PathToBytes(path).constData(), &st) == 0;
}

// Whether a rename(2) from `folder` to `target` stays on one mount: two
// mounts of one filesystem have one device, yet rename refuses to cross.
bool SameMount(const QString& folder, const QString& target) {
    struct statx a, b;
    if (::statx(AT_FDCWD, PathToBytes(folder).constData(), 0, STATX_MNT_ID, &a) != 0 ||
        ::statx(AT_FDCWD, PathToBytes(target).constData(), 0, STATX_MNT_ID, &b) != 0)
        return true;
    return !(a.stx_mask & b.stx_mask & STATX_MNT_ID) || a.stx_mnt_id == b.stx_mnt_id;
}

// Whether a folder tells names apart without regard to case: the
// filesystems of memory cards and of other systems' shares, and folders
// marked for case folding.
bool FoldsCase(const QString& folder) {
    const QByteArray path = PathToBytes(folder);
    struct statfs fs;
    if (::statfs(path.constData(), &fs) == 0) {
        switch (static_cast<unsigned long>(fs.f_type)) {
        case 0x4d44:     // FAT
        case 0x2011bab0: // exFAT
        case 0xff534d42: // CIFS
        case 0xfe534d42: // SMB2
            return true;
        default:
            break;
        }
    }
    int flags = 0;
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool folded = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL);
    ::close(fd);
    return folded;
}

// Turns the dropped items into steps, asking before a file is replaced.
struct TPlanner {
    QWidget* Owner;
    bool Move;
    std::vector<TStep> Steps{};
    // The names this drop gives out in the target, as the target compares
    // them, each a folder or not: two dropped items of one name meet there
    // as an item on the disk would.
    bool FoldCase = false;
    std::map<QString, bool> Claimed{};
    QString Key(const QString& to) const { return FoldCase ? to.toCaseFolded() : to; }
    // The target folder, and whether it turned up inside a dropped folder
    // (a bind mount can hide that from its path).
    std::pair<dev_t, ino_t> Target{0, 0};
    bool Loop = false;

    // What could not be done, told once the drop is over.
    std::vector<TFileOpError> Failures{};
    // The answer given for the rest of this drop, once one is.
    int AllAnswer = 0;

    void Refuse(const QString& from, const QString& to, int code) {
        TFileOpError error;
        error.Headline = Move ? QStringLiteral("ファイルを移動できません。")
                              : QStringLiteral("ファイルをコピーできません。");
        error.Paths = {(Move ? QStringLiteral("移動元: ") : QStringLiteral("コピー元: ")) + from,
                       (Move ? QStringLiteral("移動先: ") : QStringLiteral("コピー先: ")) + to};
        error.Code = code;
        Failures.push_back(error);
    }

    bool MayReplace(const QString& to) {
        if (AllAnswer)
            return AllAnswer == idYesAll;
        const QString text =
            QStringLiteral("次のファイルは既にあります。置き換えますか?\r\r") + DisplayPath(to);
        const int answer = ApplicationMessageBox(text, FileOpCaption(), mbQuestionYesNoNoAll);
        if (answer == idYesAll || answer == idNoAll)
            AllAnswer = answer;
        return answer == idYes || answer == idYesAll;
    }

    void Entry(const QString& from, const QString& to, const struct stat& st) {
        struct stat there;
        const auto claimed = Claimed.find(Key(to));
        const bool onDisk = Lstat(to, there);
        if ((claimed != Claimed.end() && claimed->second) || (onDisk && S_ISDIR(there.st_mode)))
            return Refuse(from, to, EISDIR);
        const bool replace = onDisk || claimed != Claimed.end();
        if (replace && !MayReplace(to))
            return;
        if (S_ISLNK(st.st_mode))
            Steps.push_back({skCopyLink, from, to, 0, replace});
        else if (S_ISREG(st.st_mode))
            Steps.push_back({skFile, from, to, 0, replace});
        else
            return Refuse(from, to, EINVAL);
        Claimed[Key(to)] = false;
    }

    void Tree(const QString& from, const QString& to, const struct stat& st) {
        if (std::pair(st.st_dev, st.st_ino) == Target)
            Loop = true;
        if (Loop)
            return;
        // A folder met twice in one drop is merged like one on the disk.
        const auto claimed = Claimed.find(Key(to));
        if (claimed != Claimed.end() && !claimed->second)
            return Refuse(from, to, ENOTDIR);
        struct stat there;
        if (Lstat(to, there)) {
            if (!S_ISDIR(there.st_mode))
                return Refuse(from, to, ENOTDIR);
        } else if (claimed == Claimed.end()) {
            Steps.push_back({skMakeDir, from, to, st.st_mode});
        }
        Claimed[Key(to)] = true;
        DIR* dir = ::opendir(PathToBytes(from).constData());
        if (!dir)
            return Refuse(from, to, errno);
        QStringList names;
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names << PathFromBytes(name);
        }
        ::closedir(dir);
        for (const QString& name : names) {
            struct stat child;
            if (!Lstat(Join(from, name), child))
                continue; // gone meanwhile
            if (S_ISDIR(child.st_mode))
                Tree(Join(from, name), Join(to, name), child);
            else
                Entry(Join(from, name), Join(to, name), child);
        }
        // Only an empty folder goes: one that kept a file keeps it.
        if (Move)
            Steps.push_back({skRemoveDir, from, to});
    }
};

TFileOpResult Fail(TFileOpError& error, const QString& headline, const QString& from,
                   const QString& to, int code) {
    error.Headline = headline;
    error.Paths = {from, to};
    error.Code = code;
    return forFailed;
}

// The failures of one drop in one box: one failure as it is, several as a
// list of the items with each one's reason.
TFileOpError Summary(const std::vector<TFileOpError>& failures) {
    if (failures.size() == 1)
        return failures.front();
    constexpr size_t kShown = 20;
    TFileOpError summary;
    summary.Headline =
        QStringLiteral("%1 個の項目を処理できませんでした。").arg(qsizetype(failures.size()));
    for (size_t i = 0; i < failures.size() && i < kShown; ++i) {
        const TFileOpError& failure = failures[i];
        const QString reason = failure.Code ? SystemReason(failure.Code) : failure.Reason;
        summary.Paths << (failure.Paths.isEmpty() ? failure.Headline : failure.Paths.front()) +
                             QStringLiteral(" (") + reason + QLatin1Char(')');
    }
    if (failures.size() > kShown)
        summary.Paths << QStringLiteral("ほか %1 個").arg(qsizetype(failures.size() - kShown));
    return summary;
}

// A copy of a link, renamed into place once it is made: 0, the errno of the
// failure, or -1 when `to` already is that very link.
int CopyLink(const QString& from, const QString& to, bool replace) {
    // Two names of one link (another mount of its folder): nothing to do,
    // and the move must not remove it.
    struct stat a, b;
    if (Lstat(from, a) && Lstat(to, b) && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        return -1;
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t n =
        ::readlink(PathToBytes(from).constData(), target.data(), size_t(target.size()));
    if (n < 0)
        return errno;
    target.truncate(n);
    const QString temp =
        Join(FolderOf(to), QStringLiteral(".velmo-link-") +
                               QString::number(QRandomGenerator::global()->generate(), 36));
    if (::symlink(target.constData(), PathToBytes(temp).constData()) != 0)
        return errno;
    if (const int code = RenameInto(PathToBytes(temp), PathToBytes(to), !replace)) {
        ::unlink(PathToBytes(temp).constData());
        return code;
    }
    return 0;
}

// Runs every step it can: a step that fails is noted and the others go on,
// but nothing is tried inside a folder that could not be made.
TFileOpResult RunSteps(const std::vector<TStep>& steps, bool move, TFileOpContext& context,
                       TFileOpError& error, std::vector<TFileOpError> failures) {
    QStringList missing; // folders that could not be made, each with a closing "/"
    TFileOpResult outcome = forDone;
    // A move of thousands of files flushes each folder once, at the end.
    context.DeferFolderSync = true;
    std::set<QString> touched;
    for (const TStep& step : steps) {
        if (context.Cancelled) {
            outcome = forCancelled;
            break;
        }
        if (std::any_of(missing.cbegin(), missing.cend(),
                        [&](const QString& folder) { return step.To.startsWith(folder); }))
            continue;
        TFileOpError failure;
        TFileOpResult result = forDone;
        // What the user let go goes to the trash first, so it can come
        // back; the step itself then replaces nothing.
        context.NoReplace = true;
        struct stat there, here;
        if (step.Replace && (step.Kind == skFile || step.Kind == skCopyLink) &&
            Lstat(step.To, there) && !S_ISDIR(there.st_mode) &&
            !(Lstat(step.From, here) && here.st_dev == there.st_dev &&
              here.st_ino == there.st_ino) &&
            MoveFileToTrash(step.To, nullptr, context, failure) != forDone) {
            failures.push_back(failure);
            continue;
        }
        const QByteArray from = PathToBytes(step.From);
        const QByteArray to = PathToBytes(step.To);
        switch (step.Kind) {
        case skMakeDir:
            if (::mkdir(to.constData(), (step.Mode & 07777) | S_IRWXU) != 0 && errno != EEXIST) {
                result = Fail(failure, QStringLiteral("フォルダを作成できません。"), step.From,
                              step.To, errno);
                missing << step.To + QLatin1Char('/');
            }
            break;
        case skFile:
            result = move ? MoveFileReplacing(step.From, step.To, context, failure)
                          : CopyFileReplacing(step.From, step.To, context, failure);
            break;
        case skCopyLink:
            if (const int code = CopyLink(step.From, step.To, false); code > 0)
                result = Fail(failure, QStringLiteral("リンクをコピーできません。"), step.From,
                              step.To, code);
            else if (code == 0 && move && ::unlink(from.constData()) != 0)
                result = Fail(failure,
                              QStringLiteral("リンクをコピーしましたが、移動元を削除できません。"),
                              step.From, step.To, errno);
            break;
        case skRemoveDir:
            ::rmdir(from.constData());
            break;
        case skRename:
            result = MoveFileReplacing(step.From, step.To, context, failure);
            break;
        case skLink:
            if (::symlink(from.constData(), to.constData()) != 0)
                result = Fail(failure, QStringLiteral("リンクを作成できません。"), step.From,
                              step.To, errno);
            break;
        case skTrash:
            result = MoveFileToTrash(step.From, nullptr, context, failure);
            break;
        }
        if (move && (step.Kind == skFile || step.Kind == skRename))
            touched.insert({FolderOf(step.From), FolderOf(step.To)});
        if (result == forCancelled) {
            outcome = forCancelled;
            break;
        }
        if (result == forFailed)
            failures.push_back(failure);
    }
    for (const QString& folder : touched)
        SyncFolder(folder);
    if (failures.empty())
        return outcome;
    error = Summary(failures);
    return forFailed;
}
} // namespace

TFileOpResult RunDropWork(QWidget* owner, Qt::DropAction effect,
                          const std::vector<TDragSource>& sources, const QString& folder,
                          bool trash) {
    const bool move = effect == Qt::MoveAction;
    TPlanner plan{owner, move};
    struct stat target;
    const bool folderKnown = ::stat(PathToBytes(folder).constData(), &target) == 0 || trash;
    if (folderKnown && !trash)
        plan.Target = {target.st_dev, target.st_ino};
    plan.FoldCase = !trash && FoldsCase(folder);
    // A folder whose name comes once in the drop moves in one rename; one
    // that meets a namesake is merged item by item, so every clash is seen.
    std::multiset<QString> names;
    for (const TDragSource& source : sources)
        names.insert(plan.Key(Join(folder, NameOf(source.Path))));
    for (const TDragSource& source : sources) {
        const QString name = NameOf(source.Path);
        const QString to = Join(folder, name);
        struct stat st;
        if (name.isEmpty() || !folderKnown) {
            plan.Refuse(source.Path, to, EINVAL);
        } else if (trash) {
            plan.Steps.push_back({skTrash, source.Path, QString()});
        } else if (effect == Qt::LinkAction) {
            plan.Steps.push_back({skLink, source.Path, to});
        } else if (!Lstat(source.Path, st)) {
            plan.Refuse(source.Path, to, errno);
        } else if (!S_ISDIR(st.st_mode)) {
            plan.Entry(source.Path, to, st);
        } else if (struct stat there; move && st.st_dev == target.st_dev && !Lstat(to, there) &&
                                      names.count(plan.Key(to)) == 1 &&
                                      SameMount(FolderOf(source.Path), folder)) {
            plan.Steps.push_back({skRename, source.Path, to}); // one folder, one rename
            plan.Claimed[plan.Key(to)] = true;
        } else {
            const size_t before = plan.Steps.size();
            const size_t failed = plan.Failures.size();
            plan.Tree(source.Path, to, st);
            if (plan.Loop) { // never into itself
                plan.Steps.erase(plan.Steps.begin() + qsizetype(before), plan.Steps.end());
                plan.Failures.resize(failed);
                plan.Loop = false;
                plan.Refuse(source.Path, to, EINVAL);
            }
        }
    }
    if (plan.Steps.empty()) {
        if (plan.Failures.empty())
            return forDone;
        ShowFileOpError(owner, Summary(plan.Failures));
        return forFailed;
    }
    const QString label =
        (trash                      ? QStringLiteral("ごみ箱に移動しています...\n")
         : move                     ? QStringLiteral("移動しています...\n")
         : effect == Qt::LinkAction ? QStringLiteral("リンクを作成しています...\n")
                                    : QStringLiteral("コピーしています...\n")) +
        NameOf(sources.front().Path);
    return RunFileOperation(
        owner, label,
        [steps = std::move(plan.Steps), move,
         failures = std::move(plan.Failures)](TFileOpContext& context, TFileOpError& error) {
            return RunSteps(steps, move, context, error, failures);
        });
}
