#pragma once

#include "platform/Common.h"

#include <QObject>

class QSocketNotifier;

// Whether a mount point lies where the desktop mounts removable media
// (/media/..., /run/media/...).
bool IsMediaMountPoint(const QString& mountPoint);
// A medium that comes and goes: an optical disc, or a local filesystem
// mounted where the desktop mounts removable media.
bool IsRemovableMount(const TMountEntry& mount);

// Watches the mount table (the platform services' file) and tells which
// mounts appeared and which left since the last reading. The system's table
// is polled for its change signal; a plain file standing in for it is
// watched for being rewritten. Lives on the user-interface thread; never
// polls on a timer.
class TMountListener : public QObject {
    Q_OBJECT
public:
    explicit TMountListener(QObject* parent = nullptr);
    ~TMountListener() override;

    const QList<TMountEntry>& Table() const { return Last; }
    // Reads the table again and reports the differences.
    void Reread();

signals:
    void MountsChanged(const QList<TMountEntry>& appeared, const QList<TMountEntry>& left);

private:
    void FileEvents();

    QString Source;
    QByteArray SourceName;
    int TableFd = -1;  // the open table, for its change signal
    int NotifyFd = -1; // inotify on the folder of a plain file
    QSocketNotifier* Notifier = nullptr;
    QList<TMountEntry> Last;
};
