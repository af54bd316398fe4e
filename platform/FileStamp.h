#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// What a file was like when a step was taken, so a later undo can tell
// whether it is still that file: its size, its modification time and, where
// asked for, a hash of its contents.
struct TFileStamp {
    qint64 Size = -1;    // -1: no stamp
    qint64 Modified = 0; // nanoseconds since the epoch
    QByteArray Hash;     // empty when not taken
    quint64 Inode = 0;   // 0: not taken (then any file of that name may match)
    bool operator==(const TFileStamp&) const = default;
};

// The stamp of the regular file at `path`, its contents hashed when
// `withHash`; false when there is no such file or it cannot be read.
bool StampFile(const QString& path, bool withHash, TFileStamp& stamp);

// Whether the file at `path` still matches `stamp`: the same size and time,
// the same contents when the stamp holds a hash, the same inode when it
// holds one. A link is not followed.
bool StampMatches(const QString& path, const TFileStamp& stamp);

// Whether two regular files hold exactly the same bytes.
bool SameBytes(const QString& a, const QString& b);

// Whether two paths name the very same file (links, another mount).
bool SameFile(const QString& a, const QString& b);

// Whether anything (a file, a folder, a dangling link) has the name `path`.
bool PathTaken(const QString& path);

// The first name of the form "name (2).jpg", "name (3).jpg", ... beside
// `path` that nothing has taken yet.
QString FreeNumberedPath(const QString& path);

// The n-th name of that series for a file name ("a.jpg", 3 gives
// "a (3).jpg"; a name without a dot, or only a leading one, gets the number
// at its end).
QString NumberedName(const QString& name, int n);
