#pragma once

#include "toolkit/Graphic.h"

// A bitmap picture, read by Qt's BMP reader. It is also the default bitmap
// class that other pictures are converted into: it can take over any picture
// (Assign) or a QImage.
class TBitmap : public TGraphic {
public:
    static TGraphicClass StaticClass();
    TGraphicClass ClassType() const override { return StaticClass(); }

    // Reads a Windows bitmap file image from the stream's current position;
    // raises EInvalidGraphic when it is not one, is damaged or cut short, or
    // claims a picture larger than GraphicAllocationLimit().
    void LoadFromStream(QIODevice& Stream) override;

    using TGraphic::Assign;
    void Assign(const QImage& Image) { Picture = Image; }

    // The pixels as they are held (no copy).
    const QImage& Image() const { return Picture; }
};
