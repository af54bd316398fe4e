#include "spi/SPIGraphic.h"

#include "platform/Exceptions.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

namespace {

const char* const CouldNotDecode = "Susie Plugins could not decode";

} // namespace

TGraphicClass TSPIGraphic::StaticClass() {
    static const TGraphicClassInfo info{"TSPIGraphic", &CreateGraphic<TSPIGraphic>};
    return &info;
}

TSPIGraphic::~TSPIGraphic() {
    ReleaseImage();
}

// ---- Loading -------------------------------------------------------------------

void TSPIGraphic::LoadFromFile(const QString& FileName) {
    ReleaseImage();
    Source = std::make_unique<TInSPIAbleFromFile>(this, FileName);
    DecodeSource();
}

void TSPIGraphic::LoadFromStream(QIODevice& Stream) {
    LoadFromStreamWithName(Stream, QString());
}

void TSPIGraphic::LoadFromStreamWithName(QIODevice& Stream, const QString& Name) {
    ReleaseImage();
    Source = std::make_unique<TInSPIAbleFromStream>(this, Name, Stream);
    DecodeSource();
}

void TSPIGraphic::DecodeSource() {
    try {
        Source->OnProgress = OnProgress;
        Source->DecodeByPlugins();
        if (Source->IsEmpty())
            throw EInvalidGraphic(QString::fromLatin1(CouldNotDecode));
    } catch (...) {
        ReleaseImage();
        throw;
    }
}

void TSPIGraphic::ReleaseImage() {
    Source.reset();
    FPalette.clear();
    Cached = QImage();
    Layout = TDibLayout();
    InfoReady = false;
}

// ---- Derived information ---------------------------------------------------------

void TSPIGraphic::PrepareInfo() const {
    if (InfoReady)
        return;
    Layout = TDibLayout();
    FPalette.clear();
    if (!Empty()) {
        const void* info = Source->InfoPointer();
        Layout = ReadDibLayout(info, LocalSize(Source->InfoHandle), LocalSize(Source->BitsHandle));
        FPalette = DibColorTable(Layout, info);
    }
    InfoReady = true;
}

bool TSPIGraphic::Empty() const {
    return !Source || Source->IsEmpty();
}

int TSPIGraphic::Width() const {
    PrepareInfo();
    return Layout.Width;
}

int TSPIGraphic::Height() const {
    PrepareInfo();
    return Layout.Height;
}

QList<QRgb> TSPIGraphic::Palette() const {
    PrepareInfo();
    return FPalette;
}

bool TSPIGraphic::IsFourBit() const {
    PrepareInfo();
    return Layout.BitCount == 4;
}

quint32 TSPIGraphic::InfoSize() const {
    PrepareInfo();
    return Layout.InfoSize;
}

quint64 TSPIGraphic::ImageSize() const {
    PrepareInfo();
    return Layout.ImageSize;
}

quint32 TSPIGraphic::ColorCount() const {
    PrepareInfo();
    return Layout.ColorCount;
}

// ---- Output --------------------------------------------------------------------

void TSPIGraphic::SaveToStream(QIODevice& Stream) const {
    PrepareInfo();
    if (Empty() || !Layout.Valid)
        throw EInvalidGraphic(QString::fromLatin1(CouldNotDecode));
    WriteDibFile(Stream, Layout, Source->InfoPointer(), Source->BitsPointer());
}

QImage TSPIGraphic::ToImage() const {
    if (Empty())
        return QImage();
    if (Cached.isNull()) {
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        SaveToStream(buffer);
        buffer.seek(0);
        EnsureImageAllocationLimit();
        QImageReader reader(&buffer, "bmp");
        reader.setDecideFormatFromContent(false);
        Cached = reader.read();
    }
    return Cached;
}

void TSPIGraphic::Draw(QPainter& Canvas, const QRect& Rect) const {
    if (!Source || Empty() || Rect.isEmpty())
        return;
    const QImage image = ToImage();
    // Stretched colour on colour: whole pixels, no blending.
    Canvas.save();
    Canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
    Canvas.drawImage(Rect, image);
    Canvas.restore();
}

// ---- Conversion ----------------------------------------------------------------

namespace {

std::unique_ptr<TGraphic> ToBitmap(const TSPIGraphic& picture, TGraphicClass bitmapClass,
                                   TSPIGraphic* release) {
    std::unique_ptr<TGraphic> bitmap = bitmapClass->Create();
    QBuffer image;
    image.open(QIODevice::ReadWrite);
    picture.SaveToStream(image);
    if (release)
        release->ReleaseImage(); // at most two copies of the pixels at once
    image.seek(0);
    bitmap->LoadFromStream(image);
    return bitmap;
}

} // namespace

std::unique_ptr<TGraphic> ConvertToBitmap(const TSPIGraphic& Picture, TGraphicClass BitmapClass) {
    return ToBitmap(Picture, BitmapClass, nullptr);
}

std::unique_ptr<TGraphic> MoveToBitmap(TSPIGraphic& Picture, TGraphicClass BitmapClass) {
    return ToBitmap(Picture, BitmapClass, &Picture);
}
