#pragma once
// JPEG data made on purpose, for the tests and the benchmarks: written by
// libjpeg in the kind a case asks for, and EXIF blocks put into it.
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <array>
#include <functional>

struct TJpegKind {
    int Sampling = 2; // luma samples per chroma sample, each way (RGB only)
    bool Progressive = false;
    int RestartRows = 0;
    int Orientation = 1; // anything else is written in an EXIF block after the JFIF one
    int Quality = 85;
    bool Cmyk = false; // the samples are inks, written as they are given
};

// Fills the samples of row y: 3 bytes a pixel (RGB), 4 for CMYK.
using TJpegRowFill = std::function<void(int y, unsigned char* row)>;

// The picture of that size, its rows filled from the top down.
QByteArray WriteJpeg(QSize size, const TJpegKind& kind, const TJpegRowFill& fill);

// An APP1 EXIF block whose first directory holds the given entries (tag,
// type, value), in the byte order given.
QByteArray ExifBlock(const QList<std::array<quint32, 3>>& entries, bool motorola = false);

// An EXIF block that asks for the given orientation alone.
inline QByteArray ExifOrientation(int orientation) {
    return ExifBlock({{0x0112, 3, quint32(orientation)}});
}

// An APP1 EXIF block whose Exif directory holds the original date, its
// sub-seconds and its offset (each left out when empty).
QByteArray ExifTakenBlock(const QByteArray& dateTime, const QByteArray& subSec = {},
                          const QByteArray& offset = {}, bool motorola = false);

// JPEG data with an APP1 block put right after its start marker.
QByteArray WithApp1(const QByteArray& jpeg, const QByteArray& payload);

// The image as Qt's own writer stores it (a grey image stays grey).
QByteArray JpegOf(const QImage& image, int quality = 90, bool progressive = false);

// Red grows to the right, green downwards: every turn and mirror shows.
QImage Gradient(QSize size);
