#include "platform/Common.h"
#include "platform/PlatformServices.h"

#include "platform/FileName.h"
#include "platform/FileNameRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <chrono>
#include <condition_variable>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

// The checks still running after their time-out, by mount point. Never
// destroyed: a detached worker may still reach it while the process ends.
struct TBusyChecks {
    std::mutex Lock;
    QSet<QString> Running;
};
TBusyChecks& BusyChecks() {
    static auto* busy = new TBusyChecks;
    return *busy;
}

// What the waiting caller and the worker share; each holds a reference.
struct TDriveCheck {
    std::mutex Lock;
    std::condition_variable Answered;
    bool Done = false;
    bool Ready = false;
};

bool IsMountPointOf(const QString& mountPoint, const QString& path) {
    if (mountPoint == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == mountPoint ||
           (path.startsWith(mountPoint) && path.at(mountPoint.size()) == QLatin1Char('/'));
}

QString AbsoluteClean(const QString& path) {
    if (path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(path);
    char* cwd = ::getcwd(nullptr, 0);
    const QString base = cwd ? PathFromBytes(cwd) : QStringLiteral("/");
    ::free(cwd);
    return QDir::cleanPath(base + QLatin1Char('/') + path);
}

// The mount root lists at least one entry.
bool RootHasEntries(const QString& root) {
    DIR* dir = ::opendir(PathToBytes(root).constData());
    if (!dir)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsDotOrDotDot(entry->d_name)) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// The check itself; runs on the worker and touches nothing shared.
bool CheckDrive(const QString& path, const QList<TMountEntry>& table, TPlatformServices& services) {
    const QByteArray native = PathToBytes(path);
    struct stat st;
    if (::stat(native.constData(), &st) != 0)
        return false;
    QString real = path;
    if (char* resolved = ::realpath(native.constData(), nullptr)) {
        real = PathFromBytes(resolved);
        ::free(resolved);
    }
    const int index = FindMount(table, real);
    if (index >= 0 && MediumKind(table[index].FsType) != mkLocal) {
        services.ProbeDrive(table[index].MountPoint);
        return RootHasEntries(table[index].MountPoint);
    }
    struct statvfs figures;
    return ::statvfs(PathToBytes(real).constData(), &figures) == 0;
}
} // namespace

TMediumKind MediumKind(const QString& fsType) {
    // Never destroyed: a detached drive check may still ask while the
    // process ends.
    // clang-format off
    static const auto* network = new QSet<QString>{
        // kernel clients
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "9p", "afs", "ceph", "coda",
        "glusterfs", "lustre", "davfs",
        // user-space clients
        "fuse.sshfs", "fuse.rclone", "fuse.curlftpfs", "fuse.s3fs", "fuse.gcsfuse",
        "fuse.davfs", "fuse.davfs2", "fuse.glusterfs", "fuse.ceph-fuse", "fuse.smbnetfs",
        "fuse.gvfsd-fuse", "fuse.afpfs", "fuse.httpfs", "fuse.ftpfs", "fuse.goofys",
        "fuse.juicefs"};
    // clang-format on
    static const auto* optical = new QSet<QString>{"iso9660", "udf"};
    const QString type = fsType.toLower();
    if (network->contains(type))
        return mkNetwork;
    if (optical->contains(type))
        return mkOptical;
    return mkLocal;
}

QString DecodeMountField(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = digits.size() == 3;
            for (char d : digits)
                ok = ok && d >= '0' && d <= '7';
            if (ok) {
                out.append(char(digits.toInt(nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return PathFromBytes(out);
}

QList<TMountEntry> ParseMountInfo(const QByteArray& text) {
    QList<TMountEntry> table;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        // id parent dev root mountpoint options [optional...] - type source super
        const qsizetype dash = fields.indexOf(QByteArray("-"), 6);
        if (fields.size() < 7 || dash < 0 || dash + 2 >= fields.size())
            continue;
        TMountEntry entry;
        entry.MountPoint = DecodeMountField(fields.at(4));
        entry.FsType = DecodeMountField(fields.at(dash + 1));
        entry.Source = DecodeMountField(fields.at(dash + 2));
        if (entry.MountPoint.startsWith(QLatin1Char('/')))
            table.append(entry);
    }
    return table;
}

QList<TMountEntry> ReadMountTable() {
    const QString source = Platform()->MountTableFile();
    // The proc file tells no size: read until the end.
    QByteArray text;
    const int fd = ::open(PathToBytes(source).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[16384];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, n);
    ::close(fd);
    return ParseMountInfo(text);
}

int FindMount(const QList<TMountEntry>& table, const QString& path) {
    int best = -1;
    for (int i = 0; i < table.size(); ++i) {
        const QString& point = table[i].MountPoint;
        if (IsMountPointOf(point, path) &&
            (best < 0 || point.size() >= table[best].MountPoint.size()))
            best = i;
    }
    return best;
}

QString DrivePart(const QString& path, const QList<TMountEntry>& table) {
    if (path.isEmpty())
        return QString();
    const QString absolute = AbsoluteClean(path);
    const int index = FindMount(table, absolute);
    if (index >= 0)
        return table[index].MountPoint;
    // A table without "/" (a chroot, some containers): the root holds
    // every path no listed mount does.
    return absolute.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : QString();
}

QString DrivePart(const QString& path) {
    return DrivePart(path, ReadMountTable());
}

bool IsDriveReady(const QString& path) {
    if (path.isEmpty())
        return false;
    const QString absolute = AbsoluteClean(path);
    const QList<TMountEntry> table = ReadMountTable();
    const int index = FindMount(table, absolute);
    const QString key = index < 0 ? absolute : table[index].MountPoint;

    TBusyChecks& busy = BusyChecks();
    {
        // A check of this mount that never answered: still not ready.
        std::lock_guard<std::mutex> guard(busy.Lock);
        if (busy.Running.contains(key))
            return false;
        busy.Running.insert(key);
    }

    auto check = std::make_shared<TDriveCheck>();
    // The worker keeps the services it started with: it may outlive them.
    std::shared_ptr<TPlatformServices> services = Platform();
    const int timeout = services->DriveCheckTimeout();
    auto work = [check, absolute, table, key, services] {
        const bool ready = CheckDrive(absolute, table, *services);
        {
            // Free the mount before answering, so the next check may start.
            TBusyChecks& busy = BusyChecks();
            std::lock_guard<std::mutex> guard(busy.Lock);
            busy.Running.remove(key);
        }
        {
            std::lock_guard<std::mutex> guard(check->Lock);
            check->Done = true;
            check->Ready = ready;
        }
        check->Answered.notify_all();
    };
    try {
        // A worker stuck on a dead server must not hold up the program's end.
        std::thread(std::move(work)).detach();
    } catch (const std::system_error&) {
        // No thread to be had: no answer either.
        std::lock_guard<std::mutex> guard(busy.Lock);
        busy.Running.remove(key);
        return false;
    }

    std::unique_lock<std::mutex> lock(check->Lock);
    check->Answered.wait_for(lock, std::chrono::milliseconds(timeout), [&] { return check->Done; });
    return check->Done && check->Ready;
}
