#include "toolkit/Bitmap.h"

#include "toolkit/Exceptions.h"

#include <QImageReader>

TGraphicClass TBitmap::StaticClass() {
    static const TGraphicClassInfo info{"TBitmap", &CreateGraphic<TBitmap>};
    return &info;
}

void TBitmap::LoadFromStream(QIODevice& Stream) {
    EnsureImageAllocationLimit();
    QImageReader reader(&Stream, "bmp");
    reader.setDecideFormatFromContent(false);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw EInvalidGraphic(
            QStringLiteral("ビットマップ画像を読み込めません（%1）").arg(reader.errorString()));
    Picture = std::move(image);
}
