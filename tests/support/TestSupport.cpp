#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTreeWidgetItem>

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
