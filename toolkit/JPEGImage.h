#pragma once

#include "toolkit/Graphic.h"

#include "toolkit/JPEGImageDecoder.h"
#include "toolkit/JpegRest.h"

#include <QByteArray>
#include <functional>

// A JPEG picture decoded by libjpeg. It keeps the compressed bytes, so it can
// decode at a reduced scale when the caller's decode hint says the picture
// will be shown smaller, and decode again at a larger scale when it is later
// asked for more (the user switched to the actual size). A camera picture is
// turned upright by its EXIF orientation as it is decoded; the file is never
// changed. Width and Height are always the picture's own size, upright.
//
// With a first-view hint, a picture shown at its own size is decoded as far
// as the view shows it first; the load returns then, and the rest is decoded
// in the background into the same pixels (TJpegRest).
//
// A load reports psStarting, psRunning with the percent done, and exactly one
// psEnding at the end, also when it fails. A file cut short shows what could
// be decoded (the rest grey); data without a readable JPEG header raises
// EInvalidGraphic.
class TJPEGImage : public TGraphic {
public:
    TJPEGImage();
    ~TJPEGImage() override;

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

    QRect ReadyRect() const override;
    void SetOnGrow(std::function<void()> OnGrow) override;
    void StopBackground() override;
    void ResumeBackground() override;

    // The size of the pixels held now, and their scale in eighths (8 = full).
    QSize DecodedSize() const { return Decoded.size(); }
    int DecodedScale() const { return Scale; }
    // libjpeg had to patch over damaged or missing data.
    bool Damaged() const;

private:
    // Decodes again from the kept bytes when the held pixels are too small to
    // show at Target. A failure keeps what is held.
    void EnsureDecodedFor(const QSize& Target) const;
    // Decodes Bytes, or the file File (owned from here on; its bytes are
    // kept in Bytes), reporting progress.
    void Load(std::unique_ptr<QByteArray> Bytes, int File);
    // The stored rows to decode before the load returns.
    int FirstRows(TJpegDecoder& Decoder) const;
    // Waits for the background part and takes over what it kept.
    void Complete() const;

    mutable QByteArray Data;
    QSize Natural;
    mutable int Warnings = 0;
    mutable QImage Decoded;
    mutable int Scale = 8;
    mutable std::unique_ptr<TJpegRest> Rest;
    std::function<void()> OnGrow;
};
