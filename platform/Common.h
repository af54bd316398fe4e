#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

// One line of the mount table.
struct TMountEntry {
    QString MountPoint; // octal escapes decoded
    QString FsType;     // "ext4", "nfs4", "fuse.sshfs", ...
    QString Source;     // the device or the remote share
};

// What kind of medium a filesystem type stands for.
enum TMediumKind { mkLocal, mkNetwork, mkOptical };
TMediumKind MediumKind(const QString& fsType);

// Decodes the octal escapes of a mount table field ("\040" is a blank).
QString DecodeMountField(const QByteArray& field);

// Parses the text of /proc/self/mountinfo; malformed lines are skipped.
QList<TMountEntry> ParseMountInfo(const QByteArray& text);

// The mount table, read from the platform services' file
// (/proc/self/mountinfo); an empty list when it cannot be read.
QList<TMountEntry> ReadMountTable();

// The entry of `table` holding the absolute path `path` (the longest mount
// point that is the path or one of its parent folders; of equal ones the
// later, which lies on top), or -1.
int FindMount(const QList<TMountEntry>& table, const QString& path);

// The drive part of a path: the mount point holding it, the path made
// absolute against the working folder first. A path under no listed mount
// (the table of a chroot may lack "/") has the root "/" as its drive part.
QString DrivePart(const QString& path, const QList<TMountEntry>& table);
QString DrivePart(const QString& path);

// Whether the medium holding `path` is present and readable, without asking
// the user and without hanging: a path that does not exist is not ready; on a
// network or optical mount the mount's root must list at least one entry; any
// other mount is ready when its figures can be read. The question is asked on
// a worker thread; one that does not answer within the time-out (2 s) counts
// as not ready and is left to finish on its own. The time-out and a probe
// called before a network or optical root is listed come from the platform
// services.
bool IsDriveReady(const QString& path);
