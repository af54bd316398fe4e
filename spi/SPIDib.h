#pragma once

#include <QList>
#include <QRgb>
#include <cstddef>
#include <cstdint>

class QIODevice;

// The shape of a device-independent bitmap that a plug-in handed back: a
// BITMAPINFO block (header and colour table) and a block of pixel rows.
struct TDibLayout {
    bool Valid = false;
    qint32 Width = 0;
    qint32 Height = 0; // negative for top-down rows
    int BitCount = 0;
    bool BitFields = false; // three colour masks follow a 40-byte header
    quint32 ColorCount = 0; // colour-table entries
    quint32 InfoSize = 0;   // 40 + 4 * ColorCount
    quint32 ColorTableOffset = 0;
    quint64 ImageSize = 0; // padded rows times |Height|
};

// Reads the layout from the info block and checks it against the sizes of
// both blocks, so nothing is ever read beyond them. Valid is false for a
// header that is damaged, of an unsupported kind, or bigger than its blocks.
TDibLayout ReadDibLayout(const void* info, size_t infoBytes, size_t bitsBytes);

// The colour table as RGB values.
QList<QRgb> DibColorTable(const TDibLayout& layout, const void* info);

// Writes a bitmap file image: the 14-byte file header, a 40-byte info header,
// the colour masks when the rows use them, the colour table and the rows.
void WriteDibFile(QIODevice& stream, const TDibLayout& layout, const void* info, const void* bits);
