#pragma once

#include <QRect>
#include <QSize>
#include <QtGlobal>

// Camera pictures are stored as the sensor saw them and carry the way to turn
// them upright in the EXIF orientation tag (1 to 8). The decoder writes each
// stored row straight to its upright place, so the picture is turned while it
// is decoded and never held twice.

// The orientation in the payload of an APP1 marker ("Exif\0\0" and a TIFF
// structure). 1 (as stored) when the payload is no EXIF block, has no
// orientation, or is damaged in any way.
int ExifOrientation(const uchar* Payload, size_t Size);

// The upright size of a picture stored at Stored.
QSize OrientedSize(const QSize& Stored, int Orientation);

// Where the rows of a stored picture go in its upright image.
class TOrientedRows {
public:
    // Stored is the size of the decoded rows; Bits and Stride address the
    // upright image (OrientedSize(Stored, Orientation)).
    TOrientedRows(const QSize& Stored, int Orientation, uchar* Bits, qsizetype Stride);

    // Whether stored rows become columns (orientations 5 to 8): they are
    // then decoded into a strip and spread out by Spread.
    bool Transposed() const { return Orientation >= 5; }
    // Orientations 1 to 4: the upright row that stored row Row is decoded
    // into, and what Finish does to it afterwards.
    uchar* RowFor(int Row) const;
    // Row Y of the upright image.
    uchar* Line(int Y) const { return Bits + Stride * Y; }
    void FinishRow(uchar* Line) const;
    // Orientations 5 to 8: writes Count stored rows, starting at stored row
    // First, from Strip (rows StripStride bytes apart) to their columns.
    void Spread(const uchar* Strip, qsizetype StripStride, int First, int Count) const;

    // The part of the upright picture that holds the first Rows stored rows.
    QRect ReadyRect(int Rows) const;
    // The number of stored rows, from the first, whose upright place covers
    // Wanted (all rows when it lies where the last rows go).
    int RowsCovering(const QRect& Wanted) const;

private:
    bool MirrorsRows() const;   // each stored row is written right to left
    bool ReversesOrder() const; // the stored rows fill the picture from its far end
    QSize Stored;
    int Orientation;
    uchar* Bits;
    qsizetype Stride;
};
