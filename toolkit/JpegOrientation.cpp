#include "toolkit/JpegOrientation.h"

#include <algorithm>
#include <cstring>

namespace {

// Reads a 16- or 32-bit number of the TIFF structure in its byte order.
struct TTiffReader {
    const uchar* Data;
    size_t Size;
    bool Motorola;

    bool Has(size_t offset, size_t length) const {
        return offset <= Size && length <= Size - offset;
    }
    quint32 U16(size_t offset) const {
        const uchar* p = Data + offset;
        return Motorola ? quint32(p[0] << 8 | p[1]) : quint32(p[1] << 8 | p[0]);
    }
    quint32 U32(size_t offset) const {
        return Motorola ? U16(offset) << 16 | U16(offset + 2) : U16(offset + 2) << 16 | U16(offset);
    }
};

constexpr quint32 OrientationTag = 0x0112;
constexpr quint32 TypeShort = 3;

} // namespace

int ExifOrientation(const uchar* Payload, size_t Size) {
    static const uchar Header[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (!Payload || Size < sizeof Header + 8 || std::memcmp(Payload, Header, sizeof Header) != 0)
        return 1;
    TTiffReader tiff{Payload + sizeof Header, Size - sizeof Header, false};
    if (tiff.Data[0] == 'M' && tiff.Data[1] == 'M')
        tiff.Motorola = true;
    else if (tiff.Data[0] != 'I' || tiff.Data[1] != 'I')
        return 1;
    if (tiff.U16(2) != 42)
        return 1;
    const size_t ifd = tiff.U32(4);
    if (!tiff.Has(ifd, 2))
        return 1;
    const size_t count = tiff.U16(ifd);
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = ifd + 2 + 12 * i;
        if (!tiff.Has(entry, 12))
            return 1; // the directory runs past the block
        if (tiff.U16(entry) != OrientationTag)
            continue;
        // A SHORT, as the standard has it.
        const quint32 value = tiff.U16(entry + 2) == TypeShort ? tiff.U16(entry + 8) : 0;
        return value >= 1 && value <= 8 ? int(value) : 1;
    }
    return 1;
}

QSize OrientedSize(const QSize& Stored, int Orientation) {
    return Orientation >= 5 ? Stored.transposed() : Stored;
}

TOrientedRows::TOrientedRows(const QSize& Stored, int Orientation, uchar* Bits, qsizetype Stride)
    : Stored(Stored), Orientation(Orientation >= 1 && Orientation <= 8 ? Orientation : 1),
      Bits(Bits), Stride(Stride) {}

bool TOrientedRows::MirrorsRows() const {
    return Orientation == 2 || Orientation == 3 || Orientation == 7 || Orientation == 8;
}

bool TOrientedRows::ReversesOrder() const {
    return Orientation == 3 || Orientation == 4 || Orientation == 6 || Orientation == 7;
}

uchar* TOrientedRows::RowFor(int Row) const {
    const int upright = ReversesOrder() ? Stored.height() - 1 - Row : Row;
    return Bits + Stride * upright;
}

void TOrientedRows::FinishRow(uchar* Line) const {
    if (MirrorsRows()) {
        auto* pixels = reinterpret_cast<quint32*>(Line);
        std::reverse(pixels, pixels + Stored.width());
    }
}

void TOrientedRows::Spread(const uchar* Strip, qsizetype StripStride, int First, int Count) const {
    // Stored row First + i becomes upright column x(i); stored column c
    // becomes upright row y(c). Each upright row takes Count neighbouring
    // pixels at a time, a cache line or so, while the strip stays in cache.
    const int width = Stored.width();
    const bool reverse = ReversesOrder();
    const int firstColumn = reverse ? Stored.height() - 1 - First : First;
    const int step = reverse ? -1 : 1;
    const qsizetype rowStep = MirrorsRows() ? -Stride : Stride;
    uchar* target = Bits + (MirrorsRows() ? Stride * (width - 1) : 0);
    const auto* strip = reinterpret_cast<const quint32*>(Strip);
    const qsizetype stripStep = StripStride / qsizetype(sizeof(quint32));
    for (int c = 0; c < width; ++c, target += rowStep) {
        quint32* out = reinterpret_cast<quint32*>(target) + firstColumn;
        const quint32* in = strip + c;
        for (int i = 0; i < Count; ++i, out += step, in += stripStep)
            *out = *in;
    }
}

QRect TOrientedRows::ReadyRect(int Rows) const {
    const QSize upright = OrientedSize(Stored, Orientation);
    Rows = std::clamp(Rows, 0, Stored.height());
    if (!Transposed())
        return ReversesOrder() ? QRect(0, upright.height() - Rows, upright.width(), Rows)
                               : QRect(0, 0, upright.width(), Rows);
    return ReversesOrder() ? QRect(upright.width() - Rows, 0, Rows, upright.height())
                           : QRect(0, 0, Rows, upright.height());
}

int TOrientedRows::RowsCovering(const QRect& Wanted) const {
    const QSize upright = OrientedSize(Stored, Orientation);
    const QRect wanted = Wanted & QRect(QPoint(0, 0), upright);
    if (wanted.isEmpty())
        return 0;
    if (!Transposed())
        return ReversesOrder() ? upright.height() - wanted.top() : wanted.bottom() + 1;
    return ReversesOrder() ? upright.width() - wanted.left() : wanted.right() + 1;
}
