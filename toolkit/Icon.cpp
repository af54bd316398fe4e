#include "toolkit/Icon.h"

#include "platform/Exceptions.h"

#include <QBuffer>
#include <QImageReader>

TGraphicClass TIcon::StaticClass() {
    static const TGraphicClassInfo info{"TIcon", &CreateGraphic<TIcon>};
    return &info;
}

namespace {
bool Better(const QImage& candidate, const QImage& best) {
    if (best.isNull())
        return true;
    const qint64 area = qint64(candidate.width()) * candidate.height();
    const qint64 bestArea = qint64(best.width()) * best.height();
    if (area != bestArea)
        return area > bestArea;
    return candidate.depth() > best.depth();
}
} // namespace

void TIcon::LoadFromStream(QIODevice& Stream) {
    EnsureImageAllocationLimit();
    // The ICO reader walks its directory by seeking, so it gets its own copy
    // of the bytes from the current position on.
    const QByteArray head = Stream.peek(4);
    if (head != QByteArrayLiteral("\0\0\1\0") && head != QByteArrayLiteral("\0\0\2\0"))
        throw EInvalidGraphic(QStringLiteral("アイコン画像ではありません"));
    QByteArray bytes = Stream.readAll();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    reader.setDecideFormatFromContent(false);
    QImage best;
    QString error;
    const int count = qMax(1, reader.imageCount());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        QImage image;
        if (reader.read(&image) && !image.isNull()) {
            if (Better(image, best))
                best = std::move(image);
        } else if (error.isEmpty()) {
            error = reader.errorString();
        }
    }
    if (best.isNull())
        throw EInvalidGraphic(QStringLiteral("アイコン画像を読み込めません（%1）").arg(error));
    Picture = std::move(best);
}
