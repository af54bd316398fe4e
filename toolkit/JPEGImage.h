#pragma once

#include "toolkit/Graphic.h"

#include <QByteArray>

// A JPEG picture decoded by libjpeg. It keeps the compressed bytes, so it can
// decode at a reduced scale when the caller's decode hint says the picture
// will be shown smaller, and decode again at a larger scale when it is later
// asked for more (the user switched to the actual size). Width and Height are
// always the picture's own size.
//
// A load reports psStarting, psRunning with the percent done, and exactly one
// psEnding at the end, also when it fails. A file cut short shows what could
// be decoded (the rest grey); data without a readable JPEG header raises
// EInvalidGraphic.
class TJPEGImage : public TGraphic {
public:
    static TGraphicClass StaticClass();
    TGraphicClass ClassType() const override { return StaticClass(); }

    int Width() const override { return Natural.width(); }
    int Height() const override { return Natural.height(); }
    bool Empty() const override { return Decoded.isNull(); }

    void Draw(QPainter& Canvas, const QRect& Rect) const override;
    QImage ScaledImage(const QSize& Size) const override;
    QImage ToImage() const override;

    void LoadFromStream(QIODevice& Stream) override;
    // Takes over another JPEG picture; other pictures raise EInvalidGraphic.
    void Assign(const TGraphic& Source) override;

    // The size of the pixels held now, and their scale in eighths (8 = full).
    QSize DecodedSize() const { return Decoded.size(); }
    int DecodedScale() const { return Scale; }
    // libjpeg had to patch over damaged or missing data.
    bool Damaged() const { return Warnings > 0; }

private:
    // Decodes again from the kept bytes when the held pixels are too small to
    // show at Target. A failure keeps what is held.
    void EnsureDecodedFor(const QSize& Target) const;

    QByteArray Data;
    QSize Natural;
    int Warnings = 0;
    mutable QImage Decoded;
    mutable int Scale = 8;
};
