#pragma once

#include "toolkit/Graphic.h"

#include <QStringList>
#include <memory>

// Holds one picture of any registered class and loads files through the
// picture-format registry, which chooses the class by the file's extension.
//
// The registry is a list of (extension, description, class) entries. The
// latest registration of an extension wins; unregistering a class removes all
// of its entries, so an earlier registration of the same extension by another
// class is found again.
class TPicture {
public:
    TPicture() = default;
    ~TPicture() = default;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // The picture held, or nullptr.
    TGraphic* Graphic() const { return Held.get(); }
    // Holds the given picture (nullptr clears) and passes its progress on.
    void SetGraphic(std::unique_ptr<TGraphic> NewGraphic);
    void Clear() { SetGraphic(nullptr); }

    // Loads the file with the class registered for its extension, passing the
    // picture's progress on to OnProgress. Only a successful load replaces the
    // picture held; a failure raises and keeps it. An extension no class is
    // registered for raises EInvalidGraphic.
    void LoadFromFile(const QString& FileName);

    // The held picture's own size; 0 when there is none.
    int Width() const { return Held ? Held->Width() : 0; }
    int Height() const { return Held ? Held->Height() : 0; }
    bool Empty() const { return !Held || Held->Empty(); }

    // The held picture scaled for display (a null image when there is none).
    QImage ScaledImage(const QSize& Size) const;
    // Draws the held picture scaled into the rectangle; nothing when empty.
    void Draw(QPainter& Canvas, const QRect& Rect) const;

    // The part of the held picture whose pixels are final (TGraphic::ReadyRect).
    QRect ReadyRect() const;
    // Pauses the background decoding of the held picture, as a load does.
    void StopBackground();

    // Given to every picture this object loads, before it reads the file.
    void SetDecodeHint(TDecodeHint Hint) { DecodeHint = std::move(Hint); }
    void SetFirstViewHint(TFirstViewHint Hint) { FirstViewHint = std::move(Hint); }

    TProgressEvent OnProgress;
    // Given to every picture held (TGraphic::SetOnGrow): called on another
    // thread when more of the held picture is ready.
    std::function<void()> OnGrow;

    // The registry. Extensions are given without their dot (a leading dot is
    // dropped) and compared in lower case.
    static void RegisterFileFormat(const QString& Extension, const QString& Description,
                                   TGraphicClass GraphicClass);
    static void UnregisterGraphicClass(TGraphicClass GraphicClass);
    // The class that handles the extension now, or nullptr.
    static TGraphicClass FileFormatClass(const QString& Extension);
    static QString FileFormatDescription(const QString& Extension);
    // Every extension with a class, lower case, without dot, in the order of
    // their first registration.
    static QStringList RegisteredExtensions();

private:
    void PassProgressOn(TGraphic& graphic);

    std::unique_ptr<TGraphic> Held;
    TDecodeHint DecodeHint;
    TFirstViewHint FirstViewHint;
};

// Registers the built-in picture classes: ".bmp" TBitmap, ".ico" TIcon,
// ".jpg" and ".jpeg" TJPEGImage. The program calls it once at start, before
// any plug-in registers its extensions; later calls do nothing.
void RegisterBuiltInGraphics();

// The extension of a file name as the registry is asked for it: the part after
// the last dot of the name, without the dot, as written ("" when none).
QString GraphicExtension(const QString& FileName);
