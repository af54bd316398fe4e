#include "settings/IniFileStore.h"
#include "platform/FileName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

// QFile reaches a file through its name as UTF-8, so a path that holds bytes
// that are not UTF-8 would land on another file: such a path is neither read
// nor written, and the failure is reported.

bool IniLoadBytes(const QString& path, QByteArray& bytes) {
    bytes.clear();
    if (HasRawBytes(path))
        return false;
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
    if (info.isSymLink()) {
        if (!info.exists())
            return false;
        target = info.canonicalFilePath();
    }
    if (HasRawBytes(target))
        return false;
    const QString dir = QFileInfo(target).absolutePath();
    if (!QFileInfo(dir).isDir() && !QDir().mkpath(dir))
        return false;

    const QByteArray targetPath = PathToBytes(target);
    struct stat old {};
    const bool hadOld = ::stat(targetPath.constData(), &old) == 0;
    if (hadOld && (!S_ISREG(old.st_mode) || ::access(targetPath.constData(), W_OK) != 0))
        return false;

    // The new content goes into a nameless file in the same folder that takes
    // the old file's permissions and only replaces it once it is complete;
    // the destructor throws it away on every early return.
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (hadOld && ::fchown(file.handle(), old.st_uid, old.st_gid) != 0) {
        // Only the owner's group may differ for an ordinary user; the file
        // then simply belongs to the user who saved it.
    }
    if (file.write(bytes) != bytes.size() || !file.flush())
        return false;
    // QSaveFile syncs too, but lets a failure pass; a file the disk did not
    // take must not replace the old one.
    if (::fsync(file.handle()) != 0)
        return false;
    // After a crash the folder shows the old file or the new one, each of
    // them complete.
    return file.commit();
}
