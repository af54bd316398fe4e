#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTreeWidgetItem>
#include <QtTest>

#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

TSandbox::TSandbox() {
    Dir.setAutoRemove(true);
}

QString TSandbox::makeDir(const QString& name) const {
    QDir(Dir.path()).mkpath(name);
    return Dir.filePath(name);
}

QString TSandbox::writeFile(const QString& name, const QByteArray& bytes) const {
    const QString p = Dir.filePath(name);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile f(p);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return p;
}

QString MakePicture(const QString& path, int width, int height, QColor base) {
    QImage img(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((base.red() + x) & 0xff, (base.green() + y) & 0xff, base.blue());
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    img.save(path);
    return path;
}

QString BuildDir() {
    const QByteArray env = qgetenv("VELMO_BUILD_DIR");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QCoreApplication::applicationDirPath() + QStringLiteral("/..");
}

QByteArray MountLine(int id, const QString& point, const QByteArray& type,
                     const QByteArray& source) {
    return QByteArray::number(id) + " 1 0:" + QByteArray::number(id) + " / " +
           QFile::encodeName(point) + " rw shared:1 - " + type + " " + source + " rw\n";
}

QStringList Captions(const QTreeWidgetItem* node) {
    QStringList captions;
    for (int i = 0; i < node->childCount(); ++i)
        captions << node->child(i)->text(0);
    return captions;
}

namespace {
// The first range of subordinate ids of this user in /etc/subuid or
// /etc/subgid, as unshare maps it above root: "first,1,count".
QString SubordinateRange(const QString& file, uint id) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    const passwd* account = ::getpwuid(::getuid());
    const QByteArray user = account ? QByteArray(account->pw_name) : QByteArray();
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(':');
        if (parts.size() == 3 && (parts[0] == user || parts[0] == QByteArray::number(id)))
            return QStringLiteral("%1,1,%2").arg(QString(parts[1]), QString(parts[2]));
    }
    return QString();
}

bool Succeeds(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}
} // namespace

bool RunsAsRoot() {
    if (::geteuid() == 0)
        return true;
    QStringList map = {QStringLiteral("-r")};
    const QString users = SubordinateRange(QStringLiteral("/etc/subuid"), ::getuid());
    const QString groups = SubordinateRange(QStringLiteral("/etc/subgid"), ::getgid());
    const QStringList more = {"--map-users=" + users, "--map-groups=" + groups};
    if (!users.isEmpty() && !groups.isEmpty() &&
        Succeeds(QStringLiteral("unshare"), map + more + QStringList{"-m", "true"}))
        map += more;
    if (!Succeeds(QStringLiteral("unshare"), map + QStringList{"-m", "true"})) {
        QTest::qSkip("needs root, or user namespaces (unshare -r -m), which are off here", __FILE__,
                     __LINE__);
        return false;
    }
    QString test = QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        test += QLatin1Char(':') + QString::fromUtf8(QTest::currentDataTag());
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("unshare"),
                map + QStringList{"-m", QCoreApplication::applicationFilePath(), test});
    const bool ended = child.waitForFinished(240000);
    const QByteArray output = child.readAll();
    const int skip = output.indexOf("SKIP   : ");
    if (!ended || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        QTest::qFail(("as root of a user namespace:\n" + output).constData(), __FILE__, __LINE__);
    else if (skip >= 0)
        QTest::qSkip(output.mid(skip, output.indexOf('\n', skip) - skip).constData(), __FILE__,
                     __LINE__);
    return false;
}

bool TakePrivateMounts() {
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

TReadOnly::TReadOnly(const QString& path) : Path(QFile::encodeName(path)) {
    const char* p = Path.constData();
    Ok = TakePrivateMounts() && ::mount(p, p, nullptr, MS_BIND, nullptr) == 0;
    // Root of a user namespace must keep the flags the mount came with.
    struct statvfs fs {};
    unsigned long keep = 0;
    if (Ok && ::statvfs(p, &fs) == 0) {
        const std::pair<unsigned long, unsigned long> flags[] = {
            {ST_NOSUID, MS_NOSUID},   {ST_NODEV, MS_NODEV},           {ST_NOEXEC, MS_NOEXEC},
            {ST_NOATIME, MS_NOATIME}, {ST_NODIRATIME, MS_NODIRATIME}, {ST_RELATIME, MS_RELATIME}};
        for (const auto& [st, ms] : flags)
            if (fs.f_flag & st)
                keep |= ms;
    }
    if (Ok && ::mount(nullptr, p, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | keep, nullptr) != 0) {
        ::umount2(p, MNT_DETACH);
        Ok = false;
    }
}

TReadOnly::~TReadOnly() {
    if (Ok)
        ::umount2(Path.constData(), MNT_DETACH);
}
