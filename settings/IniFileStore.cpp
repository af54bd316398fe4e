#include "settings/IniFileStore.h"
#include "platform/FileName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes a descriptor on every path; the temporary file is removed unless
// the rename has taken it over.
struct TTempFile {
    int Fd = -1;
    QByteArray Path;
    bool Keep = false;
    ~TTempFile() {
        if (Fd >= 0)
            ::close(Fd);
        if (!Keep && !Path.isEmpty())
            ::unlink(Path.constData());
    }
};

bool WriteAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

bool IniLoadBytes(const QString& path, QByteArray& bytes) {
    bytes.clear();
    QFile f(path);
    if (!f.exists())
        return !QFileInfo(path).isSymLink();
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly))
        return false;
    bytes = f.readAll();
    return f.error() == QFileDevice::NoError;
}

bool IniStoreBytes(const QString& path, const QByteArray& bytes) {
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink() && info.exists())
        target = info.canonicalFilePath();
    const QString dir = QFileInfo(target).absolutePath();
    if (!QFileInfo(dir).isDir() && !QDir().mkpath(dir))
        return false;

    const QByteArray targetPath = PathToBytes(target);
    struct stat old {};
    const bool hadOld = ::stat(targetPath.constData(), &old) == 0;
    if (hadOld && (!S_ISREG(old.st_mode) || ::access(targetPath.constData(), W_OK) != 0))
        return false;

    TTempFile tmp;
    const QByteArray prefix = PathToBytes(dir + QStringLiteral("/.") +
                                          QFileInfo(target).fileName() + QStringLiteral(".tmp-"));
    for (int attempt = 0; attempt < 100 && tmp.Fd < 0; ++attempt) {
        const QByteArray name =
            prefix + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            tmp.Fd = fd;
            tmp.Path = name;
        } else if (errno != EEXIST) {
            return false;
        }
    }
    if (tmp.Fd < 0)
        return false;

    if (!WriteAll(tmp.Fd, bytes.constData(), bytes.size()))
        return false;
    if (hadOld) {
        if (::fchown(tmp.Fd, old.st_uid, old.st_gid) != 0) {
            // Only the owner's group may differ for an ordinary user; the
            // file then simply belongs to the user who saved it.
        }
        if (::fchmod(tmp.Fd, old.st_mode & 07777) != 0)
            return false;
    }
    if (::fsync(tmp.Fd) != 0)
        return false;
    const int fd = tmp.Fd;
    tmp.Fd = -1;
    if (::close(fd) != 0)
        return false;
    if (::rename(tmp.Path.constData(), targetPath.constData()) != 0)
        return false;
    // The rename needs no flush of its own: after a crash the folder shows the
    // old file or the new one, each of them complete.
    tmp.Keep = true;
    return true;
}
