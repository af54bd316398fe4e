#include "platform/FileMove.h"
#include "platform/FileName.h"

#include "platform/FileCopy.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

TFileOpResult MoveFileReplacing(const QString& source, const QString& target,
                                TFileOpContext& context, TFileOpError& error) {
    auto fail = [&](int code) {
        error.Headline = QStringLiteral("ファイルを移動できません。");
        error.Paths = {QStringLiteral("移動元: ") + source, QStringLiteral("移動先: ") + target};
        error.Code = code;
        return forFailed;
    };
    const QByteArray from = PathToBytes(source);
    const QByteArray to = PathToBytes(target);
    struct stat st;
    if (::lstat(from.constData(), &st) != 0)
        return fail(errno);

    // Two names of the very same file (another mount of the folder, a link
    // to the target): moving one over the other would lose the file. Like
    // rename(2) with two hard links, this does nothing.
    struct stat resolved, existing;
    if (::stat(from.constData(), &resolved) == 0 && ::stat(to.constData(), &existing) == 0 &&
        resolved.st_dev == existing.st_dev && resolved.st_ino == existing.st_ino)
        return forDone;

    const QString folder = QFileInfo(target).path();
    if (const int code = context.Inject(fosMakeFolder, folder))
        return fail(code);
    if (const int code = MakeFolderPath(folder))
        return fail(code);

    if (const int code = context.Inject(fosRename, target)) {
        if (code != EXDEV)
            return fail(code);
    } else if (const int moved = RenameInto(from, to, context.NoReplace); moved == 0) {
        // Both folders changed; flushing them is best effort here, the
        // file is whole in either place.
        if (!context.DeferFolderSync) {
            SyncFolder(folder);
            SyncFolder(QFileInfo(source).path());
        }
        return forDone;
    } else if (moved != EXDEV) {
        return fail(moved);
    }

    // Another filesystem: copy, and remove the source only once the copy is
    // complete and on the disk.
    const TFileOpResult copied = CopyFileReplacing(source, target, context, error);
    if (copied != forDone) {
        if (copied == forFailed) {
            error.Headline = QStringLiteral("ファイルを移動できません。");
            error.Paths = {QStringLiteral("移動元: ") + source,
                           QStringLiteral("移動先: ") + target};
        }
        return copied;
    }
    auto keepSource = [&](int code, const QString& reason) {
        error.Headline =
            QStringLiteral("ファイルを移動先にコピーしましたが、移動元を削除できません。");
        error.Paths = {QStringLiteral("移動元: ") + source, QStringLiteral("移動先: ") + target};
        error.Code = code;
        error.Reason = reason;
        return forFailed;
    };
    if (const int code = context.Inject(fosRemoveSource, source))
        return keepSource(code, QString());
    // Only the very file that was copied goes: one saved over it meanwhile
    // (same name, another file) stays.
    TFileOpContext::TIdentity now;
    if (!IdentityOf(from, now) || !(now == context.Copied))
        return keepSource(0, QStringLiteral("コピーの後に移動元が変更されたため、残しました"));
    if (::unlink(from.constData()) != 0)
        return keepSource(errno, QString());
    SyncFolder(QFileInfo(source).path());
    return forDone;
}

TFileOpResult ShellMoveFile(QWidget* owner, const QString& source, const QString& target,
                            bool noReplace) {
    return RunFileOperation(
        owner, QStringLiteral("ファイルを移動しています...\n") + QFileInfo(source).fileName(),
        [source, target, noReplace](TFileOpContext& context, TFileOpError& error) {
            context.NoReplace = noReplace;
            return TakenOr(MoveFileReplacing(source, target, context, error), noReplace, error);
        });
}
