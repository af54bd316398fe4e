#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>

// Qt's own file classes turn a path into bytes with the locale's codec and
// lose the bytes of a name that is not UTF-8. These reach the file by the
// path's exact bytes (see FileName.h).

// What stat(2) tells of a path (following links). Exists is false when the
// path cannot be reached.
struct TFileFacts {
    bool Exists = false;
    bool IsDir = false;
    bool IsFile = false;
    qint64 Size = 0;
    QDateTime Modified;
};
TFileFacts FileFacts(const QString& path);

// Opens `file` for reading on the file at `path`. Answers 0, or the errno
// that stopped it.
int OpenForReading(QFile& file, const QString& path);

// Writes all of `data` to `fd`, going on after a short write or a signal.
// False when the system refuses (errno tells why).
bool WriteAll(int fd, const QByteArray& data);
