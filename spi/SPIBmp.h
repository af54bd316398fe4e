#pragma once

#include "spi/SPIGraphic.h"
#include "toolkit/Bitmap.h"

#include <QString>
#include <array>
#include <functional>
#include <memory>

class QIODevice;

// The picture class registered for every import plug-in's extensions: it
// decodes through the plug-ins (a ".bmp" file through the bitmap reader
// first) and then holds an ordinary bitmap.
class TSPIBitmap : public TBitmap {
public:
    TSPIBitmap() = default;

    static TGraphicClass StaticClass();
    TGraphicClass ClassType() const override { return StaticClass(); }

    // Each reports its progress and ends with one "Loaded Graphic" report,
    // also when it fails with EInvalidGraphic "Susie Plugins could not
    // decode" (the bitmap then keeps its previous image).
    void LoadFromFile(const QString& FileName) override;
    void LoadFromStream(QIODevice& Stream) override;
    virtual void LoadFromStreamWithName(QIODevice& Stream, const QString& FileName);

    using TBitmap::Assign;
    void Assign(const TGraphic& Source) override;
    // Takes over a decoded picture and frees it.
    virtual void AssignGraphic(std::unique_ptr<TGraphic> Graphic);
    // The size the plug-in's picture information told, when it is larger
    // than the picture it handed back.
    QSize SourceSize() const override;

    // The picture at the size the load's decode hint asked for comes from
    // the copy scaled during the load (on the loading thread, so a picture
    // decoded ahead is shown at once); other sizes are scaled now.
    QImage ScaledImage(const QSize& Size) const override;

private:
    QImage Fitted; // scaled at the end of the load, or null
    QSize FSourceSize;
    // Passes an intermediate picture's reports on as this bitmap's, except
    // its ending report.
    TProgressEvent RelayProgress();
    void FinalReport();
    void LoadThenReport(const std::function<std::unique_ptr<TGraphic>()>& Create);
};

// The classes to try, in order: the bitmap reader first for a bitmap file.
std::array<TGraphicClass, 2> LoaderOrder(TGraphicClass PluginClass, TGraphicClass BitmapClass,
                                         bool IsBitmapFile);
// The first picture of the classes in LoaderOrder that loads; nullptr when
// both fail.
std::unique_ptr<TGraphic> CreateGraphicFromFile(TGraphicClass PluginClass, const QString& FileName,
                                                TGraphicClass BitmapClass,
                                                const TProgressEvent& Progress, bool IsBitmapFile);
// As above from a stream; a failed try puts the stream back where it was.
std::unique_ptr<TGraphic> CreateGraphicFromStream(TGraphicClass PluginClass, QIODevice& Stream,
                                                  const QString& Name, TGraphicClass BitmapClass,
                                                  const TProgressEvent& Progress,
                                                  bool IsBitmapFile);

// The start and end of the plug-in bitmap's registration: at start it is
// made the class the plug-in manager registers extensions under; at the end
// every registration of it is removed. The program calls both (app/main.cpp).
void RegisterSPIBitmap();
void UnregisterSPIBitmap();
