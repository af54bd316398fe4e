#include "spi/SPIBmp.h"

#include "platform/Exceptions.h"
#include "spi/SPIs.h"
#include "toolkit/Picture.h"

#include "platform/FileAccess.h"
#include "platform/FileNameRules.h"

#include <QFileInfo>
#include <QIODevice>
#include <exception>

TGraphicClass TSPIBitmap::StaticClass() {
    static const TGraphicClassInfo info{"TSPIBitmap", &CreateGraphic<TSPIBitmap>};
    return &info;
}

// ---- Loader order --------------------------------------------------------------

std::array<TGraphicClass, 2> LoaderOrder(TGraphicClass PluginClass, TGraphicClass BitmapClass,
                                         bool IsBitmapFile) {
    if (IsBitmapFile)
        return {BitmapClass, PluginClass};
    return {PluginClass, BitmapClass};
}

std::unique_ptr<TGraphic> CreateGraphicFromFile(TGraphicClass PluginClass, const QString& FileName,
                                                TGraphicClass BitmapClass,
                                                const TProgressEvent& Progress, bool IsBitmapFile) {
    // A named pipe, a device or a folder is no picture, and opening one may
    // block: neither reader is asked.
    const TFileFacts info = FileFacts(FileName);
    if (info.Exists && !info.IsFile)
        return nullptr;
    for (TGraphicClass cls : LoaderOrder(PluginClass, BitmapClass, IsBitmapFile)) {
        try {
            std::unique_ptr<TGraphic> graphic = cls->Create();
            graphic->OnProgress = Progress;
            graphic->LoadFromFile(FileName);
            return graphic;
        } catch (const EAbort&) {
            throw; // given up: no other reader is asked
        } catch (...) {
            // the next class is tried
        }
    }
    return nullptr;
}

std::unique_ptr<TGraphic> CreateGraphicFromStream(TGraphicClass PluginClass, QIODevice& Stream,
                                                  const QString& Name, TGraphicClass BitmapClass,
                                                  const TProgressEvent& Progress,
                                                  bool IsBitmapFile) {
    const qint64 position = Stream.pos();
    for (TGraphicClass cls : LoaderOrder(PluginClass, BitmapClass, IsBitmapFile)) {
        try {
            std::unique_ptr<TGraphic> graphic = cls->Create();
            graphic->OnProgress = Progress;
            if (auto* plugin = dynamic_cast<TSPIGraphic*>(graphic.get()))
                plugin->LoadFromStreamWithName(Stream, Name);
            else
                graphic->LoadFromStream(Stream);
            return graphic;
        } catch (const EAbort&) {
            throw;
        } catch (...) {
            Stream.seek(position);
        }
    }
    return nullptr;
}

// ---- Loading -------------------------------------------------------------------

namespace {

bool IsBitmapFileName(const QString& name) {
    return SameTextAZ(ExtractFileExt(name), u".bmp");
}

} // namespace

TProgressEvent TSPIBitmap::RelayProgress() {
    return [this](TGraphic*, TProgressStage stage, quint8 percent, bool redraw, const QRect& r,
                  const QString& msg) {
        if (stage != psEnding)
            Progress(stage, percent, redraw, r, msg);
    };
}

void TSPIBitmap::FinalReport() {
    Progress(psEnding, 100, true, QRect(0, 0, Width(), Height()), QStringLiteral("Loaded Graphic"));
}

void TSPIBitmap::LoadThenReport(const std::function<std::unique_ptr<TGraphic>()>& Create) {
    // The final report comes last however the load ends.
    std::exception_ptr failure;
    try {
        AssignGraphic(Create());
        const QSize natural(Width(), Height());
        const QSize shown = DecodeHint ? DecodeHint(natural) : QSize();
        Fitted = shown.isValid() && !shown.isEmpty() && shown != natural
                     ? TGraphic::ScaledImage(shown)
                     : QImage();
    } catch (...) {
        failure = std::current_exception();
    }
    FinalReport();
    if (failure)
        std::rethrow_exception(failure);
}

void TSPIBitmap::LoadFromFile(const QString& FileName) {
    LoadThenReport([&] {
        return CreateGraphicFromFile(TSPIGraphic::StaticClass(), FileName, TBitmap::StaticClass(),
                                     RelayProgress(), IsBitmapFileName(FileName));
    });
}

void TSPIBitmap::LoadFromStream(QIODevice& Stream) {
    LoadFromStreamWithName(Stream, QString());
}

void TSPIBitmap::LoadFromStreamWithName(QIODevice& Stream, const QString& FileName) {
    LoadThenReport([&] {
        return CreateGraphicFromStream(TSPIGraphic::StaticClass(), Stream, FileName,
                                       TBitmap::StaticClass(), RelayProgress(),
                                       IsBitmapFileName(FileName));
    });
}

QImage TSPIBitmap::ScaledImage(const QSize& Size) const {
    return !Fitted.isNull() && Fitted.size() == Size ? Fitted : TGraphic::ScaledImage(Size);
}

// ---- Taking pictures over ------------------------------------------------------

void TSPIBitmap::AssignGraphic(std::unique_ptr<TGraphic> Graphic) {
    Fitted = QImage();
    if (!Graphic)
        throw EInvalidGraphic(QStringLiteral("Susie Plugins could not decode"));
    FSourceSize = QSize();
    if (auto* plugin = dynamic_cast<TSPIGraphic*>(Graphic.get())) {
        if (const TInSPIAbleData* source = plugin->DataSource()) {
            const QSize told(source->PictureInfo.width, source->PictureInfo.height);
            const QSize shown(plugin->Width(), qAbs(plugin->Height()));
            if (told.width() >= shown.width() && told.height() >= shown.height() && told != shown)
                FSourceSize = told;
        }
        const bool fourBit = plugin->IsFourBit();
        const QList<QRgb> palette = fourBit ? plugin->Palette() : QList<QRgb>();
        std::unique_ptr<TGraphic> temporary = MoveToBitmap(*plugin, TBitmap::StaticClass());
        TBitmap::Assign(*temporary);
        if (fourBit && Picture.format() == QImage::Format_Indexed8)
            Picture.setColorTable(palette);
    } else {
        TBitmap::Assign(*Graphic);
    }
}

QSize TSPIBitmap::SourceSize() const {
    return FSourceSize.isValid() && !Empty() ? FSourceSize : TBitmap::SourceSize();
}

void TSPIBitmap::Assign(const TGraphic& Source) {
    Fitted = QImage();
    const auto* other = dynamic_cast<const TSPIBitmap*>(&Source);
    FSourceSize = other ? other->FSourceSize : QSize();
    if (auto* plugin = dynamic_cast<const TSPIGraphic*>(&Source)) {
        std::unique_ptr<TGraphic> temporary = ConvertToBitmap(*plugin, TBitmap::StaticClass());
        TBitmap::Assign(*temporary);
        if (plugin->IsFourBit() && Picture.format() == QImage::Format_Indexed8)
            Picture.setColorTable(plugin->Palette());
        return;
    }
    TBitmap::Assign(Source);
}

// ---- Registration --------------------------------------------------------------

void RegisterSPIBitmap() {
    TSPIs::SetDefaultGraphicClass(TSPIBitmap::StaticClass());
}

void UnregisterSPIBitmap() {
    TPicture::UnregisterGraphicClass(TSPIBitmap::StaticClass());
}
