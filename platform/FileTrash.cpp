#include "platform/FileTrash.h"

#include "platform/Common.h"
#include "platform/FileAccess.h"
#include "platform/FileName.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
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
        ::chmod(PathToBytes(data).constData(), 0700);
}

// The device of `path`, or of its nearest existing parent folder (the home
// trash may not exist yet).
bool DeviceOf(QByteArray path, dev_t& device) {
    struct stat st;
    while (!path.isEmpty()) {
        if (::stat(path.constData(), &st) == 0) {
            device = st.st_dev;
            return true;
        }
        const qsizetype slash = path.lastIndexOf('/');
        path = slash > 0 ? path.left(slash) : QByteArray(slash == 0 ? "/" : "");
        if (path == "/" && ::stat("/", &st) == 0) {
            device = st.st_dev;
            return true;
        }
    }
    return false;
}

// Makes a trash folder with its files and info folders (private, as the
// trash rules want); answers 0 or the errno that stopped it.
int MakeTrash(const QByteArray& trash) {
    for (const QByteArray& folder : {trash, trash + "/files", trash + "/info"}) {
        if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
        struct stat st;
        if (::lstat(folder.constData(), &st) != 0)
            return errno;
        if (!S_ISDIR(st.st_mode))
            return ENOTDIR;
    }
    return 0;
}

// Picks the trash for a file on `device` below `folder` and makes it when
// missing: the home trash on the home filesystem, else the filesystem's
// shared $topdir/.Trash/$uid (a sticky folder that is no link) or its own
// $topdir/.Trash-$uid. Answers 0 or the errno that stopped it.
int PickTrash(const QByteArray& folder, dev_t device, QByteArray& trash) {
    MakeDataFolder();
    const QByteArray home = PathToBytes(HomeTrash());
    dev_t homeDevice;
    if (DeviceOf(home, homeDevice) && homeDevice == device) {
        trash = home;
        return MakeTrash(home);
    }
    QString real = PathFromBytes(folder);
    if (char* resolved = ::realpath(folder.constData(), nullptr)) {
        real = PathFromBytes(resolved);
        ::free(resolved);
    }
    QByteArray top = PathToBytes(DrivePart(real));
    if (top.isEmpty())
        top = "/";
    if (top.endsWith('/'))
        top.chop(1);
    const QByteArray uid = QByteArray::number(::getuid());
    struct stat st;
    const QByteArray shared = top + "/.Trash";
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
        MakeTrash(shared + '/' + uid) == 0) {
        trash = shared + '/' + uid;
        return 0;
    }
    trash = top + "/.Trash-" + uid;
    return MakeTrash(trash);
}

// The name in the trash for the n-th try: "a.jpg", "a (2).jpg", ...
QByteArray TrashName(const QByteArray& name, int n) {
    if (n == 1)
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArray number = " (" + QByteArray::number(n) + ')';
    return dot > 0 ? name.left(dot) + number + name.mid(dot) : name + number;
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
    // A filesystem's own trash sits at its top folder (the root, when the
    // mount table does not list it, as in a chroot).
    const QString drive = DrivePart(top);
    return !drive.isEmpty() && SameFolder(drive, top);
}

TFileOpResult MoveFileToTrash(const QString& path, QString* pathInTrash, TFileOpContext& context,
                              TFileOpError& error) {
    error.Headline = QStringLiteral("ファイルをごみ箱に移動できません。");
    error.Paths = {QStringLiteral("ファイル: ") + path};
    QByteArray absolute = PathToBytes(path);
    struct stat st;
    if (::lstat(absolute.constData(), &st) != 0) {
        error.Code = errno;
        return forFailed;
    }
    if (const int code = context.Inject(fosTrash, path)) {
        error.Code = code;
        return forFailed;
    }
    if (!absolute.startsWith('/')) {
        char* cwd = ::getcwd(nullptr, 0);
        absolute = QByteArray(cwd ? cwd : "") + '/' + absolute;
        ::free(cwd);
    }
    while (absolute.size() > 1 && absolute.endsWith('/'))
        absolute.chop(1);
    const qsizetype slash = absolute.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? absolute.left(slash) : QByteArray("/");
    const QByteArray name = absolute.mid(slash + 1);

    // A read-only filesystem is said so, whichever trash would have served.
    struct statvfs figures;
    if (::statvfs(folder.constData(), &figures) == 0 && (figures.f_flag & ST_RDONLY)) {
        error.Code = EROFS;
        return forFailed;
    }
    QByteArray trash;
    if (const int code = PickTrash(folder, st.st_dev, trash)) {
        error.Code = code;
        return forFailed;
    }

    // The info file is written and on the disk before the file moves, so a
    // trashed file always has one; its name reserves the name in the trash.
    const QByteArray info =
        "[Trash Info]\nPath=" + absolute.toPercentEncoding("/") + "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
        '\n';
    for (int n = 1; n < 10000; ++n) {
        const QByteArray entry = TrashName(name, n);
        const QByteArray infoPath = trash + "/info/" + entry + ".trashinfo";
        const QByteArray target = trash + "/files/" + entry;
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0 && errno != ENOSPC && errno != EDQUOT) {
            error.Code = errno;
            return forFailed;
        }
        const bool written = fd >= 0 && WriteAll(fd, info) && ::fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        if (!written) {
            ::unlink(infoPath.constData());
            error.Reason = QStringLiteral("ごみ箱の情報ファイルを書き込めません");
            return forFailed;
        }
        int moved = ::renameat2(AT_FDCWD, absolute.constData(), AT_FDCWD, target.constData(),
                                RENAME_NOREPLACE);
        if (moved != 0 && errno == EINVAL) {
            // A filesystem without the no-replace flag: look first.
            struct stat existing;
            moved = ::lstat(target.constData(), &existing) == 0
                        ? (errno = EEXIST, -1)
                        : ::rename(absolute.constData(), target.constData());
        }
        if (moved != 0) {
            const int code = errno;
            ::unlink(infoPath.constData());
            if (code == EEXIST)
                continue; // a file without its info file holds the name
            error.Code = code;
            return forFailed;
        }
        SyncFolder(PathFromBytes(trash + "/files"));
        SyncFolder(PathFromBytes(folder));
        if (pathInTrash)
            *pathInTrash = PathFromBytes(target);
        return forDone;
    }
    error.Code = EEXIST;
    return forFailed;
}

TFileOpResult ShellDeleteToTrash(QWidget* owner, const QString& path, QString* pathInTrash) {
    return RunFileOperation(
        owner, QStringLiteral("ファイルをごみ箱に移動しています...\n") + QFileInfo(path).fileName(),
        [path, pathInTrash](TFileOpContext& context, TFileOpError& error) {
            return MoveFileToTrash(path, pathInTrash, context, error);
        });
}
