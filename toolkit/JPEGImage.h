#pragma once

#include "toolkit/Graphic.h"

#include "toolkit/JPEGImageDecoder.h"

#include <QByteArray>
#include <functional>

// A JPEG picture decoded by libjpeg. It keeps the compressed bytes, so it can
// decode at a reduced scale when the caller's decode hint says the picture
// will be shown smaller, and decode again at a larger scale when it is later
// asked for more (the user switched to the actual size). A camera picture is
// turned upright by its EXIF orientation as it is decoded; the file is never
// changed. Width and Height are always the picture's own size, upright.
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
    // Decodes straight from the file: only the JPEG stream is read into
    // memory, never what follows it (a huge file with a picture's name).
    void LoadFromFile(const QString& FileName) override;
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
    // The load around Decode (given the scale and progress callbacks, it
    // answers the result and fills Bytes with the data to keep).
    using TDecodeRun = std::function<TJpegDecodeResult(
        const std::function<int(QSize)>&, const std::function<void(int)>&, QByteArray& Bytes)>;
    void Load(const TDecodeRun& Decode);

    QByteArray Data;
    QSize Natural;
    int Warnings = 0;
    mutable QImage Decoded;
    mutable int Scale = 8;
};
