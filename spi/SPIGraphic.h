#pragma once

#include "spi/SPIData.h"
#include "spi/SPIDib.h"
#include "toolkit/Graphic.h"

#include <QList>
#include <QRgb>
#include <memory>

class QIODevice;

// A picture decoded by the import plug-ins: it keeps the device-independent
// bitmap that a plug-in handed back and writes it out as a bitmap file image.
class TSPIGraphic : public TGraphic {
public:
    TSPIGraphic() = default;
    ~TSPIGraphic() override;

    static TGraphicClass StaticClass();
    TGraphicClass ClassType() const override { return StaticClass(); }

    // The header's size; Height is negative for a top-down picture.
    int Width() const override;
    int Height() const override;
    bool Empty() const override;
    // The colour table (empty for a picture without one).
    QList<QRgb> Palette() const;
    bool IsFourBit() const;

    void Draw(QPainter& Canvas, const QRect& Rect) const override;
    QImage ToImage() const override;

    // Raise EInvalidGraphic "Susie Plugins could not decode" when no plug-in
    // decodes the data; the picture is then empty.
    void LoadFromFile(const QString& FileName) override;
    void LoadFromStream(QIODevice& Stream) override;
    virtual void LoadFromStreamWithName(QIODevice& Stream, const QString& Name);
    // Writes the picture as a bitmap file image; needs a decoded picture.
    void SaveToStream(QIODevice& Stream) const override;

    // Frees the data source with the plug-in's memory, and the palette.
    void ReleaseImage();

    TInSPIAbleData* DataSource() const { return Source.get(); }
    // Sizes of the bitmap file image's parts.
    quint32 InfoSize() const;
    quint64 ImageSize() const;
    quint32 ColorCount() const;

private:
    void DecodeSource();
    void PrepareInfo() const;

    std::unique_ptr<TInSPIAbleData> Source;
    mutable bool InfoReady = false;
    mutable TDibLayout Layout;
    mutable QList<QRgb> FPalette;
    mutable QImage Cached; // the pixels as drawn, made on first use
};

// A new object of the bitmap class holding the picture's pixels, read from
// its bitmap file image. MoveToBitmap frees the picture's plug-in memory
// before the bitmap reads the image. On failure nothing is returned and the
// exception passes on.
std::unique_ptr<TGraphic> ConvertToBitmap(const TSPIGraphic& Picture, TGraphicClass BitmapClass);
std::unique_ptr<TGraphic> MoveToBitmap(TSPIGraphic& Picture, TGraphicClass BitmapClass);
