#include "platform/TrashRestore.h"

#include "platform/FileMove.h"
#include "platform/FileName.h"
#include "platform/FileStamp.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {
// The .trashinfo of a file in a trash's files folder.
QString InfoPathOf(const QString& pathInTrash) {
    const QFileInfo file(pathInTrash);
    const QFileInfo files(file.path());
    if (files.fileName() != QLatin1String("files"))
        return QString();
    return files.path() + QStringLiteral("/info/") + file.fileName() + QStringLiteral(".trashinfo");
}

// The Path key of a .trashinfo, made absolute against the top folder of a
// filesystem's own trash when it is relative.
QString OriginFromInfo(const QByteArray& info, const QString& infoPath) {
    bool inGroup = false;
    for (const QByteArray& raw : info.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('['))
            inGroup = line == "[Trash Info]";
        else if (inGroup && line.startsWith("Path=")) {
            const QByteArray path = QByteArray::fromPercentEncoding(line.mid(5));
            if (path.startsWith('/'))
                return PathFromBytes(path);
            // $topdir/.Trash-$uid/info/x.trashinfo or $topdir/.Trash/$uid/info/...
            QString top = QFileInfo(QFileInfo(QFileInfo(infoPath).path()).path()).path();
            if (QFileInfo(top).fileName() == QLatin1String(".Trash"))
                top = QFileInfo(top).path();
            return top + QLatin1Char('/') + PathFromBytes(path);
        }
    }
    return QString();
}
} // namespace

QString TrashedFileOrigin(const QString& pathInTrash) {
    const QString infoPath = InfoPathOf(pathInTrash);
    if (infoPath.isEmpty())
        return QString();
    const int fd = ::open(PathToBytes(infoPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QString();
    QByteArray info;
    char buffer[4096];
    ssize_t got = 0;
    while (info.size() < 64 * 1024 && (got = ::read(fd, buffer, sizeof buffer)) > 0)
        info.append(buffer, got);
    ::close(fd);
    return OriginFromInfo(info, infoPath);
}

TFileOpResult RestoreFromTrash(const QString& pathInTrash, const QString& original,
                               const QString& destination, TFileOpContext& context,
                               TFileOpError& error) {
    error.Headline = QStringLiteral("ファイルをごみ箱から元に戻せません。");
    error.Paths = {QStringLiteral("ファイル: ") + destination};
    auto fail = [&](int code) {
        error.Code = code;
        return forFailed;
    };
    if (!PathTaken(pathInTrash))
        return fail(ENOENT);
    if (TrashedFileOrigin(pathInTrash) != original) {
        error.Reason =
            QStringLiteral("ごみ箱の情報ファイルが見つからないか、別の場所を示しています");
        return forFailed;
    }
    if (PathTaken(destination))
        return fail(EEXIST);
    const QString folder = QFileInfo(destination).path();
    if (const int code = MakeFolderPath(folder))
        return fail(code);
    const QByteArray from = PathToBytes(pathInTrash);
    const QByteArray to = PathToBytes(destination);
    if (const int code = context.Inject(fosRename, destination))
        return fail(code);
    if (const int moved = RenameInto(from, to, true)) {
        if (moved != EXDEV)
            return fail(moved);
        // The home trash on another filesystem than the place (a folder
        // mounted later): the safe move across filesystems.
        context.NoReplace = true;
        const TFileOpResult result = MoveFileReplacing(pathInTrash, destination, context, error);
        if (result != forDone)
            return result;
    }
    SyncFolder(folder);
    const QString infoPath = InfoPathOf(pathInTrash);
    ::unlink(PathToBytes(infoPath).constData());
    SyncFolder(QFileInfo(infoPath).path());
    return forDone;
}

TFileOpResult ShellRestoreFromTrash(QWidget* owner, const QString& pathInTrash,
                                    const QString& original, const QString& destination) {
    return RunFileOperation(
        owner,
        QStringLiteral("ファイルをごみ箱から元に戻しています...\n") +
            QFileInfo(destination).fileName(),
        [pathInTrash, original, destination](TFileOpContext& context, TFileOpError& error) {
            return RestoreFromTrash(pathInTrash, original, destination, context, error);
        });
}
