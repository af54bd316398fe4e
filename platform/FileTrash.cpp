#include "platform/FileTrash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QUrl>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool SameFolder(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

QString HomeTrash() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Trash");
}

// Qt puts the trash under the working folder when the data folder is
// missing; a fresh account has none, so it is made first (private, as the
// base directory rules want it).
void MakeDataFolder() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || QFileInfo(data).isDir())
        return;
    if (MakeFolderPath(data) == 0)
        ::chmod(QFile::encodeName(data).constData(), 0700);
}

// Undoes a trashing that landed outside any trash: the file goes back where
// it was and the stray info file and folders go. Answers whether the file is
// back.
bool PutBack(const QString& original, const QString& trashed, bool strayFolders) {
    const QFileInfo placed(trashed);
    const QString trash = QFileInfo(placed.path()).path();
    const QString info =
        trash + QStringLiteral("/info/") + placed.fileName() + QStringLiteral(".trashinfo");
    struct stat st;
    if (::lstat(QFile::encodeName(original).constData(), &st) == 0)
        return false; // something new took the name: leave both alone
    if (::rename(QFile::encodeName(trashed).constData(), QFile::encodeName(original).constData()) !=
        0)
        return false;
    ::unlink(QFile::encodeName(info).constData());
    if (!strayFolders)
        return true;
    ::rmdir(QFile::encodeName(trash + QStringLiteral("/files")).constData());
    ::rmdir(QFile::encodeName(trash + QStringLiteral("/info")).constData());
    return true;
}

// Qt writes the info file after moving the file and does not look whether
// the write went through; on a full disk it stays empty and no desktop could
// show or restore the file. Answers whether the info file is whole.
//
// Qt also writes the original path as it is, but the trash's rules want it
// escaped as in a URL; unescaped, a name with "%" or a blank would come back
// wrong on restoring. The value is escaped here unless it already is.
bool CompleteInfoFile(const QString& original, const QString& trashed) {
    const QFileInfo placed(trashed);
    const QString info = QFileInfo(placed.path()).path() + QStringLiteral("/info/") +
                         placed.fileName() + QStringLiteral(".trashinfo");
    QFile in(info);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QList<QByteArray> lines = in.readAll().split('\n');
    in.close();
    if (lines.value(0) != "[Trash Info]")
        return false;
    const QByteArray absolute = QFile::encodeName(original);
    bool hasPath = false, hasDate = false, changed = false;
    for (QByteArray& line : lines) {
        hasDate = hasDate || line.startsWith("DeletionDate=");
        if (!line.startsWith("Path="))
            continue;
        hasPath = true;
        const QByteArray raw = line.mid(5);
        const bool asIs = raw == absolute || (!raw.startsWith('/') && absolute.endsWith('/' + raw));
        const QByteArray escaped = QUrl::toPercentEncoding(QFile::decodeName(raw), "/");
        if (asIs && escaped != raw) {
            line = "Path=" + escaped;
            changed = true;
        }
    }
    if (!hasPath || !hasDate)
        return false;
    if (changed) {
        // Replaced whole or not at all: the unescaped one still restores most names.
        QSaveFile out(info);
        if (out.open(QIODevice::WriteOnly)) {
            out.write(lines.join('\n'));
            out.commit();
        }
    }
    return true;
}
} // namespace

bool IsTrashFilesFolder(const QString& folder) {
    const QFileInfo files(QDir::cleanPath(folder));
    if (files.fileName() != QLatin1String("files"))
        return false;
    const QString trash = files.path();
    if (SameFolder(trash, HomeTrash()))
        return true;
    const QString uid = QString::number(::getuid());
    const QFileInfo trashInfo(trash);
    QString top;
    if (trashInfo.fileName() == QStringLiteral(".Trash-") + uid)
        top = trashInfo.path();
    else if (trashInfo.fileName() == uid &&
             QFileInfo(trashInfo.path()).fileName() == QLatin1String(".Trash"))
        top = QFileInfo(trashInfo.path()).path();
    else
        return false;
    // A filesystem's own trash sits at its top folder.
    const QStorageInfo storage(top);
    return storage.isValid() && SameFolder(storage.rootPath(), top);
}

TFileOpResult MoveFileToTrash(const QString& path, QString* pathInTrash, TFileOpContext& context,
                              TFileOpError& error) {
    error.Headline = QStringLiteral("ファイルをごみ箱に移動できません。");
    error.Paths = {QStringLiteral("ファイル: ") + path};
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        error.Code = errno;
        return forFailed;
    }
    if (const int code = context.Inject(fosTrash, path)) {
        error.Code = code;
        return forFailed;
    }
    MakeDataFolder();

    QFile file(path);
    if (!file.moveToTrash()) {
        const QString reason = file.errorString();
        error.Reason = reason.isEmpty() || file.error() == QFileDevice::NoError
                           ? QStringLiteral("ごみ箱のフォルダを用意できません")
                           : reason;
        return forFailed;
    }
    const QString trashed = file.fileName();
    if (!IsTrashFilesFolder(QFileInfo(trashed).path())) {
        error.Reason = QStringLiteral("ごみ箱ではない場所に移されました");
        if (!PutBack(path, trashed, true))
            error.Paths << QStringLiteral("移された場所: ") + trashed;
        return forFailed;
    }
    if (!CompleteInfoFile(QFileInfo(path).absoluteFilePath(), trashed)) {
        error.Reason = QStringLiteral("ごみ箱の情報ファイルを書き込めません");
        if (!PutBack(path, trashed, false))
            error.Paths << QStringLiteral("移された場所: ") + trashed;
        return forFailed;
    }
    if (pathInTrash)
        *pathInTrash = trashed;
    return forDone;
}

TFileOpResult ShellDeleteToTrash(QWidget* owner, const QString& path) {
    return RunFileOperation(
        owner, QStringLiteral("ファイルをごみ箱に移動しています...\n") + QFileInfo(path).fileName(),
        [path](TFileOpContext& context, TFileOpError& error) {
            return MoveFileToTrash(path, nullptr, context, error);
        });
}
