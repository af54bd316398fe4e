#include "toolkit/Picture.h"

#include "platform/Exceptions.h"
#include "platform/FileNameRules.h"
#include "toolkit/Bitmap.h"
#include "toolkit/Icon.h"
#include "toolkit/JPEGImage.h"

#include <vector>

namespace {

struct TFileFormat {
    QString Extension;
    QString Description;
    TGraphicClass GraphicClass;
};

// Oldest first; the last entry of an extension is the one in force.
std::vector<TFileFormat>& FileFormats() {
    static std::vector<TFileFormat> formats;
    return formats;
}

QString NormalExtension(const QString& extension) {
    QString e = extension.toLower();
    if (e.startsWith(QLatin1Char('.')))
        e.remove(0, 1);
    return e;
}

const TFileFormat* FindFormat(const QString& extension) {
    const QString e = NormalExtension(extension);
    const auto& formats = FileFormats();
    for (auto it = formats.rbegin(); it != formats.rend(); ++it)
        if (it->Extension == e)
            return &*it;
    return nullptr;
}

} // namespace

void TPicture::RegisterFileFormat(const QString& Extension, const QString& Description,
                                  TGraphicClass GraphicClass) {
    if (!GraphicClass)
        return;
    FileFormats().push_back({NormalExtension(Extension), Description, GraphicClass});
}

void TPicture::UnregisterGraphicClass(TGraphicClass GraphicClass) {
    auto& formats = FileFormats();
    std::erase_if(formats, [&](const TFileFormat& f) { return f.GraphicClass == GraphicClass; });
}

TGraphicClass TPicture::FileFormatClass(const QString& Extension) {
    const TFileFormat* f = FindFormat(Extension);
    return f ? f->GraphicClass : nullptr;
}

QString TPicture::FileFormatDescription(const QString& Extension) {
    const TFileFormat* f = FindFormat(Extension);
    return f ? f->Description : QString();
}

QStringList TPicture::RegisteredExtensions() {
    QStringList result;
    for (const TFileFormat& f : FileFormats())
        if (!result.contains(f.Extension))
            result.append(f.Extension);
    return result;
}

void TPicture::PassProgressOn(TGraphic& graphic) {
    graphic.OnProgress = [this](TGraphic* sender, TProgressStage stage, quint8 percent, bool redraw,
                                const QRect& r, const QString& msg) {
        if (OnProgress)
            OnProgress(sender, stage, percent, redraw, r, msg);
    };
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> NewGraphic) {
    if (NewGraphic) {
        PassProgressOn(*NewGraphic);
        NewGraphic->SetOnGrow(OnGrow);
    }
    Held = std::move(NewGraphic);
}

void TPicture::LoadFromFile(const QString& FileName) {
    const QString extension = GraphicExtension(FileName);
    const TGraphicClass graphicClass = FileFormatClass(extension);
    if (!graphicClass || !graphicClass->Create)
        throw EInvalidGraphic(
            QStringLiteral("拡張子 .%1 の画像形式は処理できません").arg(extension));
    std::unique_ptr<TGraphic> graphic = graphicClass->Create();
    PassProgressOn(*graphic);
    graphic->SetDecodeHint(DecodeHint);
    graphic->SetFirstViewHint(FirstViewHint);
    graphic->SetOnGrow(OnGrow);
    // The rest of the picture held is not decoded while another loads.
    StopBackground();
    try {
        graphic->LoadFromFile(FileName);
    } catch (...) {
        if (Held)
            Held->ResumeBackground();
        throw;
    }
    SetGraphic(std::move(graphic));
}

QRect TPicture::ReadyRect() const {
    return Held ? Held->ReadyRect() : QRect();
}

void TPicture::StopBackground() {
    if (Held)
        Held->StopBackground();
}

QImage TPicture::ScaledImage(const QSize& Size) const {
    return Held ? Held->ScaledImage(Size) : QImage();
}

void TPicture::Draw(QPainter& Canvas, const QRect& Rect) const {
    if (Held)
        Held->Draw(Canvas, Rect);
}

void RegisterBuiltInGraphics() {
    static bool done = false;
    if (done)
        return;
    done = true;
    EnsureImageAllocationLimit();
    TPicture::RegisterFileFormat(QStringLiteral("bmp"), QStringLiteral("Bitmaps"),
                                 TBitmap::StaticClass());
    TPicture::RegisterFileFormat(QStringLiteral("ico"), QStringLiteral("Icons"),
                                 TIcon::StaticClass());
    TPicture::RegisterFileFormat(QStringLiteral("jpg"), QStringLiteral("JPEG Image File"),
                                 TJPEGImage::StaticClass());
    TPicture::RegisterFileFormat(QStringLiteral("jpeg"), QStringLiteral("JPEG Image File"),
                                 TJPEGImage::StaticClass());
}

QString GraphicExtension(const QString& FileName) {
    return ExtractFileExt(FileName).mid(1).toString();
}
