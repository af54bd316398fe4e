#include "toolkit/Bitmap.h"

#include "platform/Exceptions.h"

#include <QImageReader>
#include <QtEndian>

namespace {

// Checks the size a bitmap file image claims against the data that follows
// it, so a lying header neither asks for a huge picture nor leaves most of
// one unread (Qt's reader stops at the end of the data and keeps whatever
// memory the rest of the picture had). Raises EInvalidGraphic.
void CheckBitmapHeader(QIODevice& stream) {
    const QByteArray head = stream.peek(54);
    if (head.size() < 26 || !head.startsWith("BM"))
        return; // Qt's reader gives its own reason
    const auto* p = reinterpret_cast<const uchar*>(head.constData());
    const quint32 bitsOffset = qFromLittleEndian<quint32>(p + 10);
    const quint32 headerSize = qFromLittleEndian<quint32>(p + 14);
    qint64 width = 0, height = 0;
    int bitCount = 0;
    quint32 compression = 0;
    if (headerSize == 12) {
        width = qFromLittleEndian<quint16>(p + 18);
        height = qFromLittleEndian<quint16>(p + 20);
        bitCount = qFromLittleEndian<quint16>(p + 24);
    } else if (headerSize >= 40 && head.size() >= 34) {
        width = qFromLittleEndian<qint32>(p + 18);
        height = qAbs(qint64(qFromLittleEndian<qint32>(p + 22)));
        bitCount = qFromLittleEndian<quint16>(p + 28);
        compression = qFromLittleEndian<quint32>(p + 30);
    } else {
        return;
    }
    if (width <= 0 || height <= 0)
        throw EInvalidGraphic(
            QStringLiteral("ビットマップ画像の大きさが正しくありません（%1 x %2）")
                .arg(width)
                .arg(height));
    if (width * height * 4 > GraphicAllocationLimit())
        throw EInvalidGraphic(
            QStringLiteral("画像が大きすぎて読み込めません（%1 x %2）").arg(width).arg(height));
    // Only uncompressed rows have a size known in advance.
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    if (!uncompressed || bitCount <= 0 || stream.isSequential())
        return;
    const qint64 rowBytes = (qint64(bitCount) * width + 31) / 32 * 4;
    const qint64 needed = qint64(bitsOffset) + rowBytes * height;
    if (stream.size() - stream.pos() < needed)
        throw EInvalidGraphic(
            QStringLiteral("ビットマップ画像のデータが途中で切れています（%1 バイト中 %2 バイト）")
                .arg(needed)
                .arg(stream.size() - stream.pos()));
}

} // namespace

TGraphicClass TBitmap::StaticClass() {
    static const TGraphicClassInfo info{"TBitmap", &CreateGraphic<TBitmap>};
    return &info;
}

void TBitmap::LoadFromStream(QIODevice& Stream) {
    EnsureImageAllocationLimit();
    CheckBitmapHeader(Stream);
    QImageReader reader(&Stream, "bmp");
    reader.setDecideFormatFromContent(false);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw EInvalidGraphic(
            QStringLiteral("ビットマップ画像を読み込めません（%1）").arg(reader.errorString()));
    Picture = std::move(image);
}
