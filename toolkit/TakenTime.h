#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// When a picture was taken, as its camera recorded it: the Exif original
// date with its sub-seconds and offset (JPEG, TIFF-based raw files, HEIF),
// or a clip's creation time. Times are milliseconds since the epoch (UTC);
// a date without an offset is read as local time.

// The Exif date texts ("2024:05:01 13:45:10", "25", "+09:00") as a time;
// none for a blank or malformed date.
std::optional<qint64> ExifTimeMsecs(const QByteArray& dateTime, const QByteArray& subSec,
                                    const QByteArray& offset);
// The original date of a TIFF block (an Exif block without its "Exif\0\0").
std::optional<qint64> TakenTimeFromTiff(const QByteArray& tiff);
// Reads only the few parts of the file that hold the date.
std::optional<qint64> ReadTakenTime(const QString& path);

// One file of the list in name order: when it was taken, if known, and when
// it was last changed.
struct TTakenFacts {
    std::optional<qint64> Taken;
    qint64 Modified = 0;
};
// Both facts of one file.
TTakenFacts ReadTakenFacts(const QString& path);
// The order of the files by the time they were taken, else changed; then by
// the time changed; then by name. Answers indices into facts.
std::vector<int> TakenOrder(const std::vector<TTakenFacts>& facts);
