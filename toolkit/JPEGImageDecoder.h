#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <functional>

// Decoding of JPEG data through libjpeg, straight into a QImage of
// Format_RGB32. libjpeg's errors never end the process: they come back as
// EInvalidGraphic with libjpeg's own text.

// The DCT scale (in eighths: 1, 2, 4 or 8) that decodes a picture of the
// natural size just large enough to be shown at Target without enlarging the
// decoded pixels. An invalid or empty target means the picture's own size.
int JpegScaleFor(const QSize& Natural, const QSize& Target);

// The size libjpeg decodes a picture of the natural size to at Scale eighths.
QSize JpegScaledSize(const QSize& Natural, int Scale);

struct TJpegDecodeResult {
    QImage Image;     // the decoded pixels
    QSize Natural;    // the picture's own size
    int Scale = 8;    // eighths of the natural size that Image holds
    int Warnings = 0; // damaged or cut-short data that libjpeg patched over
};

// Decodes Data. ChooseScale (may be empty: full size) is asked with the
// natural size once the header is read and answers the scale in eighths.
// Progress (may be empty) is told the percent done whenever it changes. An
// exception from either callback stops decoding and passes on out of
// DecodeJpeg. A file cut short decodes with the missing part filled in (and
// Warnings above 0); data without a readable header, or a picture too large
// to hold, raises EInvalidGraphic.
TJpegDecodeResult DecodeJpeg(const QByteArray& Data, const std::function<int(QSize)>& ChooseScale,
                             const std::function<void(int Percent)>& Progress);

// Decodes the JPEG stream at the current position of the open file File,
// reading it in pieces as the decoder needs them. Kept gets the bytes read
// (the stream and at most one piece past its end), enough to decode again
// later without the file; whatever follows the stream is never read.
TJpegDecodeResult DecodeJpegFile(int File, QByteArray& Kept,
                                 const std::function<int(QSize)>& ChooseScale,
                                 const std::function<void(int Percent)>& Progress);
