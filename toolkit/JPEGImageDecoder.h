#pragma once

#include "toolkit/JpegOrientation.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <functional>
#include <memory>

// Decoding of JPEG data through libjpeg, straight into a QImage of
// Format_RGB32, turned upright by the picture's EXIF orientation. libjpeg's
// errors never end the process: they come back as EInvalidGraphic with
// libjpeg's own text.

// The DCT scale (in eighths: 1, 2, 4 or 8) that decodes a picture of the
// natural size just large enough to be shown at Target without enlarging the
// decoded pixels. An invalid or empty target means the picture's own size.
int JpegScaleFor(const QSize& Natural, const QSize& Target);

// The size libjpeg decodes a picture of the natural size to at Scale eighths.
QSize JpegScaledSize(const QSize& Natural, int Scale);

struct TJpegDecodeResult {
    QImage Image;        // the decoded pixels, upright
    QSize Natural;       // the picture's own size, upright
    int Scale = 8;       // eighths of the natural size that Image holds
    int Warnings = 0;    // damaged or cut-short data that libjpeg patched over
    int Orientation = 1; // the EXIF orientation the stored rows were turned by
};

struct TJpegJob;

// One decode that can stop after some of its rows and go on later, on
// another thread if need be (one thread at a time). A step that fails
// raises EInvalidGraphic, or passes on what the progress callback threw;
// the decoder is of no more use after that.
class TJpegDecoder {
public:
    // Decodes Data, which must outlive the decoder.
    explicit TJpegDecoder(const QByteArray& Data);
    // Decodes the JPEG stream at the current position of the open file File,
    // reading it in pieces as needed. Kept (which must outlive the decoder)
    // gets the bytes read (the stream and at most one piece past its end),
    // enough to decode again later without the file; whatever follows the
    // stream is never read.
    TJpegDecoder(int File, QByteArray& Kept);
    ~TJpegDecoder();
    TJpegDecoder(const TJpegDecoder&) = delete;
    TJpegDecoder& operator=(const TJpegDecoder&) = delete;

    // Reads the header: the upright size and the orientation are known then.
    void ReadHeader();
    QSize Natural() const;
    int Orientation() const;
    // Starts decoding at Scale eighths: the picture is made (not yet filled).
    // Progress (may be empty, must outlive the decode) is told the percent
    // done whenever it changes.
    void Start(int Scale, const std::function<void(int Percent)>* Progress);
    // Decodes stored rows until Rows of them (or all) are done.
    void ReadRows(int Rows);
    int RowsDone() const;
    int RowCount() const;
    // The part of the upright picture that the first Rows stored rows fill,
    // and the stored rows needed to fill Wanted.
    QRect ReadyRect(int Rows) const;
    int RowsCovering(const QRect& Wanted) const;
    // The picture as far as decoded. Its pixels outside ReadyRect(RowsDone())
    // are not set yet; the decoder goes on writing there.
    TJpegDecodeResult& Result();
    // Fills what is not decoded yet with grey, as libjpeg fills a picture
    // cut short.
    void FillRest();
    // Another progress callback (or none) for the rows still to come.
    void SetProgress(const std::function<void(int Percent)>* Progress);
    // Where the stored rows go, for ReadyRect without the decoder.
    TOrientedRows Placement() const;

private:
    std::unique_ptr<TJpegJob> Job;
};

// Decodes Data. ChooseScale (may be empty: full size) is asked with the
// upright natural size once the header is read and answers the scale in
// eighths. Progress (may be empty) is told the percent done whenever it
// changes. An exception from either callback stops decoding and passes on
// out of DecodeJpeg. A file cut short decodes with the missing part filled in
// (and Warnings above 0); data without a readable header, or a picture too
// large to hold, raises EInvalidGraphic.
TJpegDecodeResult DecodeJpeg(const QByteArray& Data, const std::function<int(QSize)>& ChooseScale,
                             const std::function<void(int Percent)>& Progress);

// The same from the open file File, as TJpegDecoder reads it.
TJpegDecodeResult DecodeJpegFile(int File, QByteArray& Kept,
                                 const std::function<int(QSize)>& ChooseScale,
                                 const std::function<void(int Percent)>& Progress);
