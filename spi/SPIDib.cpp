#include "spi/SPIDib.h"

#include "platform/Exceptions.h"
#include "spi_plugin.h"
#include "toolkit/Graphic.h"

#include <QIODevice>
#include <QtEndian>
#include <cstring>
#include <limits>

namespace {

const quint32 BiRgb = 0;
const quint32 BiBitFields = 3;
const quint32 HeaderBytes = 40;
const quint32 MaskBytes = 12;

void Write(QIODevice& stream, const void* data, qint64 count) {
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        const qint64 written = stream.write(p, count);
        if (written <= 0)
            throw EInOutError(
                QStringLiteral("ビットマップを書き出せません（%1）").arg(stream.errorString()));
        p += written;
        count -= written;
    }
}

} // namespace

TDibLayout ReadDibLayout(const void* info, size_t infoBytes, size_t bitsBytes) {
    TDibLayout layout;
    if (!info || infoBytes < HeaderBytes)
        return layout;
    SpiBitmapInfoHeader header;
    std::memcpy(&header, info, sizeof header);
    if (header.biSize < HeaderBytes || header.biSize > infoBytes)
        return layout;
    const int bits = header.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return layout;
    const bool bitFields = header.biCompression == BiBitFields && (bits == 16 || bits == 32);
    if (header.biCompression != BiRgb && !bitFields)
        return layout;
    if (bitFields && header.biSize != HeaderBytes && header.biSize < HeaderBytes + MaskBytes)
        return layout;
    if (header.biWidth <= 0 || header.biHeight == 0 ||
        header.biHeight == std::numeric_limits<qint32>::min())
        return layout;

    quint64 colors = header.biClrUsed;
    if (colors == 0 && bits <= 8)
        colors = quint64(1) << bits;
    if (bits <= 8 && colors > (quint64(1) << bits))
        return layout;
    // Masks sit after a 40-byte header, inside a longer one.
    const quint64 tableOffset =
        quint64(header.biSize) + (bitFields && header.biSize == HeaderBytes ? MaskBytes : 0);
    if (tableOffset + colors * 4 > infoBytes)
        return layout;

    const quint64 rowBytes = (quint64(bits) * quint64(header.biWidth) + 31) / 32 * 4;
    const quint64 rows = quint64(qAbs(qint64(header.biHeight)));
    const quint64 imageSize = rowBytes * rows;
    if (imageSize > bitsBytes || imageSize > quint64(GraphicAllocationLimit()))
        return layout;

    layout.Width = header.biWidth;
    layout.Height = header.biHeight;
    layout.BitCount = bits;
    layout.BitFields = bitFields;
    layout.ColorCount = quint32(colors);
    layout.InfoSize = HeaderBytes + 4 * quint32(colors);
    layout.ColorTableOffset = quint32(tableOffset);
    layout.ImageSize = imageSize;
    layout.Valid = true;
    return layout;
}

QList<QRgb> DibColorTable(const TDibLayout& layout, const void* info) {
    QList<QRgb> table;
    if (!layout.Valid)
        return table;
    const auto* entries = reinterpret_cast<const SpiRgbQuad*>(static_cast<const char*>(info) +
                                                              layout.ColorTableOffset);
    table.reserve(layout.ColorCount);
    for (quint32 i = 0; i < layout.ColorCount; ++i)
        table << qRgb(entries[i].rgbRed, entries[i].rgbGreen, entries[i].rgbBlue);
    return table;
}

void WriteDibFile(QIODevice& stream, const TDibLayout& layout, const void* info, const void* bits) {
    if (!layout.Valid)
        throw EInvalidGraphic(QStringLiteral("Susie Plugins could not decode"));
    const quint32 masks = layout.BitFields ? MaskBytes : 0;
    const quint32 offset = 14 + layout.InfoSize + masks;
    const quint64 fileSize = quint64(offset) + layout.ImageSize;

    uchar fileHeader[14] = {'B', 'M'};
    qToLittleEndian<quint32>(quint32(fileSize), fileHeader + 2);
    qToLittleEndian<quint32>(offset, fileHeader + 10);
    Write(stream, fileHeader, sizeof fileHeader);

    // The 40-byte header alone, sized to match what follows it.
    SpiBitmapInfoHeader header;
    std::memcpy(&header, info, sizeof header);
    header.biSize = HeaderBytes;
    header.biSizeImage = quint32(layout.ImageSize);
    Write(stream, &header, sizeof header);
    if (masks)
        Write(stream, static_cast<const char*>(info) + HeaderBytes, masks);
    Write(stream, static_cast<const char*>(info) + layout.ColorTableOffset,
          qint64(layout.ColorCount) * 4);
    Write(stream, bits, qint64(layout.ImageSize));
}
