#include "toolkit/Thumbnails.h"

#include "platform/FileName.h"
#include "toolkit/JPEGImageDecoder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int NormalSize = 128;
const char* const FailFolder = "fail/velmo-1";

bool Unescaped(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArray("-._~/!$&'()*+,;=:@").contains(c);
}

qint64 ModifiedSeconds(const QString& path) {
    struct stat st {};
    return ::stat(PathToBytes(path).constData(), &st) == 0 ? qint64(st.st_mtime) : -1;
}

// A cached thumbnail that belongs to this picture as it is now.
QImage ReadIfCurrent(const QString& file, const QByteArray& uri, qint64 mtime, bool shared) {
    if (!QFileInfo::exists(file))
        return {};
    QImageReader reader(file, "png");
    QImage image = reader.read();
    if (image.isNull())
        return {};
    // The keys as the PNG's text chunks hold them; a shared thumbnail beside
    // the picture may leave them out.
    const QString storedUri = image.text(QStringLiteral("Thumb::URI"));
    const QString storedTime = image.text(QStringLiteral("Thumb::MTime"));
    if (!(shared && storedUri.isEmpty()) && storedUri.toUtf8() != uri &&
        QUrl::fromEncoded(storedUri.toUtf8()) != QUrl::fromEncoded(uri))
        return {};
    if (!(shared && storedTime.isEmpty()) && storedTime.toLongLong() != mtime)
        return {};
    if (image.width() > NormalSize || image.height() > NormalSize)
        image = image.scaled(NormalSize, NormalSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

// No thumbnails are made of the thumbnails themselves.
bool InCache(const QString& path) {
    return path.startsWith(ThumbnailCacheDir() + QLatin1Char('/'));
}
} // namespace

QByteArray ThumbnailUri(const QString& path) {
    QByteArray uri = "file://";
    static const char hex[] = "0123456789ABCDEF";
    for (const char c : PathToBytes(path)) {
        if (Unescaped(c)) {
            uri += c;
        } else {
            uri += '%';
            uri += hex[(uchar(c) >> 4) & 15];
            uri += hex[uchar(c) & 15];
        }
    }
    return uri;
}

QString ThumbnailFileName(const QByteArray& uri) {
    return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
           QStringLiteral(".png");
}

QString ThumbnailCacheDir() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/thumbnails");
}

QImage CachedThumbnail(const QString& path, qint64 mtime) {
    const QByteArray uri = ThumbnailUri(path);
    const QString name = ThumbnailFileName(uri);
    const QString cache = ThumbnailCacheDir();
    for (const char* size : {"normal", "large"}) {
        const QImage image = ReadIfCurrent(cache + '/' + size + '/' + name, uri, mtime, false);
        if (!image.isNull())
            return image;
    }
    // A shared repository beside the picture (on removable media) is named
    // by the file's own name.
    const QFileInfo info(path);
    const QString shared =
        info.path() + QStringLiteral("/.sh_thumbnails/normal/") +
        ThumbnailFileName(ThumbnailUri(path).mid(int(ThumbnailUri(info.path()).size()) + 1));
    return ReadIfCurrent(shared, uri, mtime, true);
}

QImage MakeThumbnail(const QString& path) {
    QImage image;
    const QByteArray bytes = PathToBytes(path);
    const int fd = ::open(bytes.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char head[3] = {};
    const bool jpeg =
        ::pread(fd, head, 3, 0) == 3 && head[0] == char(0xFF) && head[1] == char(0xD8);
    if (jpeg) {
        // libjpeg decodes at an eighth of the size or what just covers the box.
        try {
            QByteArray kept;
            image = DecodeJpegFile(fd, kept,
                                   [](QSize natural) {
                                       return JpegScaleFor(natural, QSize(NormalSize, NormalSize));
                                   },
                                   {})
                        .Image;
        } catch (...) {
            image = QImage();
        }
    }
    ::close(fd);
    if (!jpeg) {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        const QSize natural = reader.size();
        if (natural.isValid())
            reader.setScaledSize(natural.scaled(NormalSize, NormalSize, Qt::KeepAspectRatio)
                                     .expandedTo(QSize(1, 1)));
        image = reader.read();
    }
    if (image.isNull())
        return {};
    if (image.width() > NormalSize || image.height() > NormalSize)
        image = image.scaled(NormalSize, NormalSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

bool StoreThumbnail(const QString& path, qint64 mtime, const QImage& thumbnail) {
    const QByteArray uri = ThumbnailUri(path);
    const QString folder =
        ThumbnailCacheDir() + '/' +
        (thumbnail.isNull() ? QString::fromLatin1(FailFolder) : QStringLiteral("normal"));
    if (!QDir().mkpath(folder))
        return false;
    // The folders and files are the user's alone.
    for (QString d = folder; d.startsWith(ThumbnailCacheDir()); d = QFileInfo(d).path())
        ::chmod(PathToBytes(d).constData(), 0700);
    QImage image = thumbnail.isNull() ? QImage(1, 1, QImage::Format_ARGB32) : thumbnail;
    if (thumbnail.isNull())
        image.fill(Qt::transparent);
    // The keys go on the picture: the PNG writer stores each as a text chunk.
    image.setText(QStringLiteral("Thumb::URI"), QString::fromLatin1(uri));
    image.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime));
    image.setText(QStringLiteral("Thumb::Size"), QString::number(QFileInfo(path).size()));
    image.setText(QStringLiteral("Software"), QStringLiteral("Velmo"));
    // Written under another name and renamed, so no reader meets half a file.
    QSaveFile file(folder + '/' + ThumbnailFileName(uri));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QImageWriter writer(&file, "png");
    if (!writer.write(image))
        return false;
    return file.commit();
}

QImage ThumbnailFor(const QString& path) {
    const qint64 mtime = ModifiedSeconds(path);
    if (mtime < 0)
        return {};
    QImage image = CachedThumbnail(path, mtime);
    if (!image.isNull())
        return image;
    const QString failed = ThumbnailCacheDir() + '/' + QString::fromLatin1(FailFolder) + '/' +
                           ThumbnailFileName(ThumbnailUri(path));
    if (QFileInfo::exists(failed) &&
        !ReadIfCurrent(failed, ThumbnailUri(path), mtime, false).isNull())
        return {};
    image = MakeThumbnail(path);
    if (!InCache(path))
        StoreThumbnail(path, mtime, image);
    return image;
}
