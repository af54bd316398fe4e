#include "settings/SettingsRules.h"

#include "platform/FileAccess.h"
#include "platform/FileName.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <limits>

QString IniFileLocation(const QString& overrideDir, const QString& exeDir, bool installed,
                        bool exeDirHasIni, bool exeDirWritable, const QString& xdgConfigHome,
                        const QString& home) {
    static const QString name = QStringLiteral("Velmo.ini");
    if (!overrideDir.isEmpty())
        return QDir(overrideDir).filePath(name);
    if (!installed && (exeDirHasIni || exeDirWritable))
        return QDir(exeDir).filePath(name);
    const QString config = !xdgConfigHome.isEmpty() && QDir::isAbsolutePath(xdgConfigHome)
                               ? xdgConfigHome
                               : QDir(home).filePath(QStringLiteral(".config"));
    return QDir(config).filePath(QStringLiteral("velmo/") + name);
}

QString StartFolder(const QStringList& args, const QString& current, const QString& specify,
                    int startMode, const QString& workDir) {
    QString folder;
    if (!args.isEmpty()) {
        QString arg = args.first();
        if (!arg.isEmpty() && QDir::isRelativePath(arg))
            arg = QDir::cleanPath(QDir(workDir).filePath(arg));
        const TFileFacts info = FileFacts(arg);
        if (!arg.isEmpty() && info.Exists && !info.IsDir) {
            folder = FolderOfFile(arg);
        } else if (!arg.isEmpty() && !info.Exists && FileFacts(FolderOfFile(arg)).IsDir) {
            // A file that has gone: its folder, when that is still there.
            folder = FolderOfFile(arg);
        } else {
            folder = arg;
        }
    } else {
        folder = startMode == 1 ? specify : current;
    }
    if (!folder.isEmpty() && QDir::isRelativePath(folder))
        folder = QDir::cleanPath(QDir(workDir).filePath(folder));
    return folder;
}

QString StartPicture(const QStringList& args, const QString& stored, const QString& folder,
                     const QString& workDir) {
    if (folder.isEmpty())
        return QString();
    if (args.isEmpty())
        return !stored.isEmpty() && FolderOfFile(stored) == folder ? stored : QString();
    QString arg = args.first();
    if (!arg.isEmpty() && QDir::isRelativePath(arg))
        arg = QDir::cleanPath(QDir(workDir).filePath(arg));
    const TFileFacts info = FileFacts(arg);
    return !arg.isEmpty() && info.Exists && !info.IsDir && FolderOfFile(arg) == folder ? arg
                                                                                       : QString();
}

QString FolderOfFile(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return QString();
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

int CentredPosition(int screen, int window) {
    const qint64 pos = (qint64(screen) - qint64(window)) / 2;
    return int(
        std::clamp<qint64>(pos, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int WindowStateNumber(TWindowState state) {
    switch (state) {
    case wsMinimized:
        return 2;
    case wsMaximized:
        return 3;
    default:
        return 1;
    }
}

bool WindowStateFromNumber(int number, TWindowState& state) {
    switch (number) {
    case 1:
        state = wsNormal;
        return true;
    case 2:
        state = wsMinimized;
        return true;
    case 3:
        state = wsMaximized;
        return true;
    default:
        return false;
    }
}

namespace {
const QLatin1String IniUrlPrefix("file://");
}

QString PathToIniValue(const QString& path) {
    if (!HasRawBytes(path))
        return path;
    return IniUrlPrefix + QString::fromLatin1(PathToBytes(path).toPercentEncoding("/"));
}

QString PathFromIniValue(const QString& value) {
    if (!value.startsWith(IniUrlPrefix))
        return value;
    return PathFromBytes(QByteArray::fromPercentEncoding(value.mid(IniUrlPrefix.size()).toUtf8()));
}
