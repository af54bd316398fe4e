#include "toolkit/JPEGImage.h"

#include "platform/Exceptions.h"
#include "platform/FileName.h"
#include "platform/FileOperation.h"
#include "toolkit/JPEGImageDecoder.h"

#include <QIODevice>
#include <QPaintDevice>
#include <QPainter>
#include <QScopeGuard>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

TGraphicClass TJPEGImage::StaticClass() {
    static const TGraphicClassInfo info{"TJPEGImage", &CreateGraphic<TJPEGImage>};
    return &info;
}

void TJPEGImage::Load(const TDecodeRun& Decode) {
    Progress(psStarting, 0, false, QRect(), QStringLiteral("Loading JPEG"));
    const auto finish = [this] {
        Progress(psEnding, 100, true, QRect(0, 0, Width(), Height()),
                 QStringLiteral("Loaded JPEG"));
    };
    try {
        const auto choose = [this](QSize natural) {
            return DecodeHint ? JpegScaleFor(natural, DecodeHint(natural)) : 8;
        };
        const auto report = [this](int percent) {
            Progress(psRunning, quint8(percent), false, QRect(), QString());
        };
        QByteArray bytes;
        TJpegDecodeResult result = Decode(choose, report, bytes);
        // Only a complete decode replaces what this picture held.
        Data = std::move(bytes);
        Natural = result.Natural;
        Decoded = std::move(result.Image);
        Scale = result.Scale;
        Warnings = result.Warnings;
    } catch (...) {
        try {
            finish();
        } catch (...) {
            // The load's own failure is the one worth reporting.
        }
        throw;
    }
    finish();
}

void TJPEGImage::LoadFromStream(QIODevice& Stream) {
    Load([&Stream](const auto& choose, const auto& report, QByteArray& bytes) {
        // Something else under a JPEG name (a film, say) is turned away before
        // all of it is read into memory; libjpeg words the reason.
        const QByteArray head = Stream.peek(2);
        if (head != QByteArrayLiteral("\xFF\xD8")) {
            DecodeJpeg(head, nullptr, nullptr);
            throw EInvalidGraphic(QStringLiteral("JPEG 画像ではありません"));
        }
        bytes = Stream.readAll();
        return DecodeJpeg(bytes, choose, report);
    });
}

void TJPEGImage::LoadFromFile(const QString& FileName) {
    const int file = ::open(PathToBytes(FileName).constData(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        throw EInOutError(QStringLiteral("ファイル %1 を開けません（%2）")
                              .arg(DisplayPath(FileName), SystemReason(errno)));
    const auto closer = qScopeGuard([file] { ::close(file); });
    Load([file](const auto& choose, const auto& report, QByteArray& bytes) {
        return DecodeJpegFile(file, bytes, choose, report);
    });
}

void TJPEGImage::Assign(const TGraphic& Source) {
    if (&Source == this)
        return;
    const auto* jpeg = dynamic_cast<const TJPEGImage*>(&Source);
    if (!jpeg)
        throw EInvalidGraphic(
            QStringLiteral("%1 を %2 に代入できません").arg(Source.ClassName(), ClassName()));
    Data = jpeg->Data;
    Natural = jpeg->Natural;
    Warnings = jpeg->Warnings;
    Decoded = jpeg->Decoded;
    Scale = jpeg->Scale;
}

void TJPEGImage::EnsureDecodedFor(const QSize& Target) const {
    if (Decoded.isNull() || Scale >= 8)
        return;
    const int needed = JpegScaleFor(Natural, Target);
    if (needed <= Scale)
        return;
    try {
        TJpegDecodeResult result = DecodeJpeg(
            Data, [needed](QSize) { return needed; }, nullptr);
        Decoded = std::move(result.Image);
        Scale = result.Scale;
    } catch (const Exception&) {
        // Keep showing the smaller decode; it did succeed once.
    }
}

void TJPEGImage::Draw(QPainter& Canvas, const QRect& Rect) const {
    if (Empty() || Rect.isEmpty())
        return;
    qreal ratio = 1.0;
    if (Canvas.device())
        ratio = Canvas.device()->devicePixelRatioF();
    EnsureDecodedFor((QSizeF(Rect.size()) * ratio).toSize());
    Canvas.save();
    Canvas.setRenderHint(QPainter::SmoothPixmapTransform, true);
    Canvas.drawImage(Rect, Decoded);
    Canvas.restore();
}

QImage TJPEGImage::ScaledImage(const QSize& Size) const {
    EnsureDecodedFor(Size);
    return ScaleForDisplay(Decoded, Size);
}

QImage TJPEGImage::ToImage() const {
    if (Decoded.isNull() || Scale >= 8)
        return Decoded;
    TJpegDecodeResult result = DecodeJpeg(Data, nullptr, nullptr);
    Decoded = std::move(result.Image);
    Scale = result.Scale;
    return Decoded;
}
