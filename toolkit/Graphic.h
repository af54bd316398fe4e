#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>

class QIODevice;
class QPainter;
class TGraphic;

// Stages of a picture's progress report.
enum TProgressStage : int { psStarting = 0, psRunning = 1, psEnding = 2 };

// A picture's progress event: (Sender, stage, percent done 0..100, redraw now,
// rectangle, message text). A load that reported psStarting ends with exactly
// one psEnding report, also when it fails.
using TProgressEvent =
    std::function<void(TGraphic* Sender, TProgressStage Stage, quint8 PercentDone, bool RedrawNow,
                       const QRect& R, const QString& Msg)>;

// Asked during a load with the picture's natural size; answers the smallest
// size the caller will show it at. An invalid or empty answer means "at its
// own size". Decoders that can decode smaller (JPEG) use it; others ignore it.
using TDecodeHint = std::function<QSize(QSize Natural)>;

// Asked during a load with the picture's natural size when it will be shown
// at that size: the part of the picture the view shows first. A decoder that
// can (JPEG) decodes that part, returns, and decodes the rest on a thread of
// its own. An empty answer asks for the whole picture at once.
using TFirstViewHint = std::function<QRect(QSize Natural)>;

// The identity of a picture class: its name and how to make one. Classes are
// compared by the address of their one descriptor, so a TGraphicClass can be
// registered for extensions and unregistered again.
struct TGraphicClassInfo {
    const char* ClassName;
    std::unique_ptr<TGraphic> (*Create)();
};
using TGraphicClass = const TGraphicClassInfo*;

template <typename T> std::unique_ptr<TGraphic> CreateGraphic() {
    return std::make_unique<T>();
}

// The abstract picture. The default implementations keep the decoded pixels
// in a QImage (`Picture`); a class that keeps its pixels elsewhere overrides
// Width, Height, Empty, Draw, ToImage and SaveToStream.
class TGraphic {
public:
    TGraphic() = default;
    virtual ~TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;

    virtual TGraphicClass ClassType() const = 0;
    QString ClassName() const { return QString::fromLatin1(ClassType()->ClassName); }

    // The picture's own size in pixels, whatever size it was decoded at.
    virtual int Width() const;
    virtual int Height() const;
    virtual bool Empty() const;
    // The size of the picture the file holds, which a decoder may show
    // smaller (a camera raw file's preview of its sensor): the status bar's.
    virtual QSize SourceSize() const { return QSize(Width(), Height()); }

    // Draws the picture scaled into the rectangle (smooth).
    virtual void Draw(QPainter& Canvas, const QRect& Rect) const;

    // The picture scaled to Size (smooth), cheap enough to call once per
    // display size; a caller that paints often keeps the result. At the
    // picture's own size, only the pixels within ReadyRect are set yet.
    virtual QImage ScaledImage(const QSize& Size) const;

    // After a load that decoded the first view only, the rest is decoded in
    // the background. ReadyRect is the part whose pixels are final (all of
    // the picture once it is complete; what else needs the pixels waits for
    // them). OnGrow, when set, is called on the decoding thread each time
    // ReadyRect grew, and only again once ReadyRect was asked for: it must
    // only hand the news to the picture's own thread.
    virtual QRect ReadyRect() const;
    virtual void SetOnGrow(std::function<void()> OnGrow);
    // Pauses the background part (a new picture is wanted), and takes it up
    // again (the new one did not load).
    virtual void StopBackground();
    virtual void ResumeBackground();

    // The picture at its own size.
    virtual QImage ToImage() const;

    // Reads the file; raises EInOutError when it cannot be opened and
    // EInvalidGraphic when its contents cannot be decoded.
    virtual void LoadFromFile(const QString& FileName);
    // Reads the picture from the device's current position.
    virtual void LoadFromStream(QIODevice& Stream) = 0;
    // Writes the picture as a Windows bitmap file image (BMP).
    virtual void SaveToStream(QIODevice& Stream) const;

    // Takes over the source picture's pixels; raises EInvalidGraphic when it
    // cannot.
    virtual void Assign(const TGraphic& Source);

    TProgressEvent OnProgress;
    void SetDecodeHint(TDecodeHint Hint) { DecodeHint = std::move(Hint); }
    void SetFirstViewHint(TFirstViewHint Hint) { FirstViewHint = std::move(Hint); }

protected:
    // Raises OnProgress, when assigned, with this picture as the sender.
    void Progress(TProgressStage Stage, quint8 PercentDone, bool RedrawNow, const QRect& R,
                  const QString& Msg);

    TDecodeHint DecodeHint;
    TFirstViewHint FirstViewHint;
    QImage Picture;
};

// The largest decoded picture accepted, in bytes (so a 100-megapixel picture
// loads and a lying header cannot ask for more). Also raises Qt's image reader
// allocation limit to match.
qint64 GraphicAllocationLimit();
void EnsureImageAllocationLimit();

// Writes the image as a Windows bitmap file image; raises EInOutError on a
// write failure and EInvalidGraphic for an empty image.
void WriteBitmapFile(const QImage& Image, QIODevice& Stream);

// Scales an image for display (smooth); the image itself when the size matches.
QImage ScaleForDisplay(const QImage& Image, const QSize& Size);
