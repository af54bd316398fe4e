#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

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
