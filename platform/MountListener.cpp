#include "platform/MountListener.h"

#include "platform/FileName.h"
#include "platform/PlatformServices.h"

#include <QFileInfo>
#include <QSet>
#include <QSocketNotifier>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {
// False when the table cannot be read: nothing is known to have changed then.
bool ReadTable(const QString& source, QList<TMountEntry>& table) {
    QByteArray text;
    const int fd = ::open(PathToBytes(source).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[16384];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, n);
    ::close(fd);
    if (n < 0)
        return false;
    table = ParseMountInfo(text);
    return true;
}

QString MountKey(const TMountEntry& mount) {
    return mount.MountPoint + QChar(0) + mount.FsType + QChar(0) + mount.Source;
}

// The entries of `table` whose key `other` lacks.
QList<TMountEntry> Missing(const QList<TMountEntry>& table, const QSet<QString>& other) {
    QList<TMountEntry> result;
    for (const TMountEntry& mount : table)
        if (!other.contains(MountKey(mount)))
            result.append(mount);
    return result;
}

QSet<QString> Keys(const QList<TMountEntry>& table) {
    QSet<QString> keys;
    for (const TMountEntry& mount : table)
        keys.insert(MountKey(mount));
    return keys;
}
} // namespace

bool IsMediaMountPoint(const QString& mountPoint) {
    return mountPoint.startsWith(QLatin1String("/media/")) ||
           mountPoint.startsWith(QLatin1String("/run/media/"));
}

bool IsRemovableMount(const TMountEntry& mount) {
    const TMediumKind kind = MediumKind(mount.FsType);
    return kind == mkOptical || (kind == mkLocal && IsMediaMountPoint(mount.MountPoint));
}

TMountListener::TMountListener(QObject* parent) : QObject(parent) {
    Source = Platform()->MountTableFile();
    ReadTable(Source, Last);
    const QByteArray path = PathToBytes(Source);
    struct statfs fs;
    if (::statfs(path.constData(), &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC) {
        // The kernel's table signals a change as a priority event.
        TableFd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (TableFd < 0)
            return;
        Notifier = new QSocketNotifier(TableFd, QSocketNotifier::Exception, this);
        connect(Notifier, &QSocketNotifier::activated, this, &TMountListener::Reread);
        return;
    }
    // A plain file is rewritten, often by a rename over it: watch its folder.
    NotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (NotifyFd < 0)
        return;
    const QFileInfo info(Source);
    SourceName = PathToBytes(info.fileName());
    if (::inotify_add_watch(NotifyFd, PathToBytes(info.absolutePath()).constData(),
                            IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE | IN_ONLYDIR) < 0) {
        ::close(NotifyFd);
        NotifyFd = -1;
        return;
    }
    Notifier = new QSocketNotifier(NotifyFd, QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, &TMountListener::FileEvents);
}

TMountListener::~TMountListener() {
    delete Notifier;
    if (TableFd >= 0)
        ::close(TableFd);
    if (NotifyFd >= 0)
        ::close(NotifyFd);
}

void TMountListener::FileEvents() {
    alignas(inotify_event) char buffer[4096];
    bool touched = false;
    ssize_t n;
    while ((n = ::read(NotifyFd, buffer, sizeof buffer)) > 0) {
        for (char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            if (event->len > 0 && SourceName == event->name)
                touched = true;
            p += sizeof(inotify_event) + event->len;
        }
    }
    if (touched)
        Reread();
}

void TMountListener::Reread() {
    QList<TMountEntry> table;
    if (!ReadTable(Source, table))
        return;
    const QList<TMountEntry> appeared = Missing(table, Keys(Last));
    const QList<TMountEntry> left = Missing(Last, Keys(table));
    Last = table;
    if (!appeared.isEmpty() || !left.isEmpty())
        emit MountsChanged(appeared, left);
}
