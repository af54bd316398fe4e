#pragma once

#include <QImage>
#include <QString>

// Thumbnails shared with the desktop's file managers: PNG files in the
// user's thumbnail cache, named by the MD5 of the picture's URI and holding
// that URI and the picture's change time, so any program can tell whether
// one is still good.

// The file URI of a full path, its bytes escaped as the desktop escapes them.
QByteArray ThumbnailUri(const QString& path);
// "<md5 of the URI in hex>.png".
QString ThumbnailFileName(const QByteArray& uri);
// $XDG_CACHE_HOME/thumbnails (or ~/.cache/thumbnails).
QString ThumbnailCacheDir();

// A picture's thumbnail at up to 128 x 128 pixels: from the cache when one
// there is still good, else made from the picture and written to the cache.
// Answers a null image when the picture cannot be read (which is recorded
// under fail/, so it is not tried again until the file changes).
QImage ThumbnailFor(const QString& path);
// Only what the caches hold for it (null when nothing good is there).
QImage CachedThumbnail(const QString& path, qint64 mtime);
// The picture made small, without the cache.
QImage MakeThumbnail(const QString& path);
// Writes a thumbnail (or, for a null image, a failure) into the cache with
// the keys the desktop expects; false when the cache cannot be written.
bool StoreThumbnail(const QString& path, qint64 mtime, const QImage& thumbnail);
