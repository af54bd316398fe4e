#include "toolkit/JPEGImage.h"

#include "platform/Exceptions.h"
#include "platform/FileName.h"
#include "platform/FileOperation.h"
#include "toolkit/JPEGImageDecoder.h"

#include <QIODevice>
#include <QPaintDevice>
#include <QPainter>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {
// A first view this close to the whole picture is decoded with the rest.
constexpr int WholeShare = 4; // in fifths
} // namespace

TGraphicClass TJPEGImage::StaticClass() {
    static const TGraphicClassInfo info{"TJPEGImage", &CreateGraphic<TJPEGImage>};
    return &info;
}

TJPEGImage::TJPEGImage() = default;

TJPEGImage::~TJPEGImage() = default;

int TJPEGImage::FirstRows(TJpegDecoder& Decoder) const {
    const int all = Decoder.RowCount();
    if (!FirstViewHint || Decoder.Result().Scale != 8)
        return all;
    const QRect view = FirstViewHint(Decoder.Natural());
    if (view.isEmpty())
        return all;
    const int rows = qMax(1, Decoder.RowsCovering(view));
    return rows * 5 >= all * WholeShare ? all : rows;
}

void TJPEGImage::Load(std::unique_ptr<QByteArray> Bytes, int File) {
    struct TFile {
        int Handle;
        ~TFile() {
            if (Handle >= 0)
                ::close(Handle);
        }
    } file{File};
    // A picture loaded again stops decoding its rest, and goes on with it
    // when the new load fails.
    StopBackground();
    Progress(psStarting, 0, false, QRect(), QStringLiteral("Loading JPEG"));
    const auto finish = [this] {
        Progress(psEnding, 100, true, QRect(0, 0, Width(), Height()),
                 QStringLiteral("Loaded JPEG"));
    };
    try {
        const std::function<void(int)> report = [this](int percent) {
            Progress(psRunning, quint8(percent), false, QRect(), QString());
        };
        auto decoder = file.Handle >= 0 ? std::make_unique<TJpegDecoder>(file.Handle, *Bytes)
                                        : std::make_unique<TJpegDecoder>(*Bytes);
        decoder->ReadHeader();
        const QSize natural = decoder->Natural();
        decoder->Start(DecodeHint ? JpegScaleFor(natural, DecodeHint(natural)) : 8, &report);
        const int first = FirstRows(*decoder);
        decoder->ReadRows(first);
        decoder->SetProgress(nullptr);
        // Only a decoded first view replaces what this picture held.
        TJpegDecodeResult& result = decoder->Result();
        Natural = result.Natural;
        Scale = result.Scale;
        if (first < decoder->RowCount()) {
            // The pixels are shared from here on: written by the rest's
            // thread through their address, read here within ReadyRect.
            Decoded = result.Image;
            Data.clear();
            Warnings = 0;
            Rest = std::make_unique<TJpegRest>(std::move(decoder), std::move(Bytes), file.Handle);
            file.Handle = -1;
            Rest->SetOnGrow(OnGrow);
            Rest->Go();
        } else {
            Rest.reset();
            decoder->FillRest();
            Warnings = result.Warnings;
            Decoded = std::move(result.Image);
            Data = std::move(*Bytes);
        }
    } catch (...) {
        ResumeBackground();
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
    // Something else under a JPEG name (a film, say) is turned away before
    // all of it is read into memory; libjpeg words the reason.
    const QByteArray head = Stream.peek(2);
    if (head != QByteArrayLiteral("\xFF\xD8")) {
        Progress(psStarting, 0, false, QRect(), QStringLiteral("Loading JPEG"));
        Progress(psEnding, 100, true, QRect(0, 0, Width(), Height()),
                 QStringLiteral("Loaded JPEG"));
        DecodeJpeg(head, nullptr, nullptr);
        throw EInvalidGraphic(QStringLiteral("JPEG 画像ではありません"));
    }
    Load(std::make_unique<QByteArray>(Stream.readAll()), -1);
}

void TJPEGImage::LoadFromFile(const QString& FileName) {
    const int file = ::open(PathToBytes(FileName).constData(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        throw EInOutError(QStringLiteral("ファイル %1 を開けません（%2）")
                              .arg(DisplayPath(FileName), SystemReason(errno)));
    Load(std::make_unique<QByteArray>(), file);
}

void TJPEGImage::Assign(const TGraphic& Source) {
    if (&Source == this)
        return;
    const auto* jpeg = dynamic_cast<const TJPEGImage*>(&Source);
    if (!jpeg)
        throw EInvalidGraphic(
            QStringLiteral("%1 を %2 に代入できません").arg(Source.ClassName(), ClassName()));
    jpeg->Complete();
    Rest.reset();
    Data = jpeg->Data;
    Natural = jpeg->Natural;
    Warnings = jpeg->Warnings;
    Decoded = jpeg->Decoded;
    Scale = jpeg->Scale;
}

void TJPEGImage::Complete() const {
    if (!Rest)
        return;
    Rest->Finish();
    Warnings = Rest->Warnings();
    Data = Rest->TakeBytes();
    Rest.reset();
}

QRect TJPEGImage::ReadyRect() const {
    if (!Rest)
        return TGraphic::ReadyRect();
    const QRect ready = Rest->ReadyRect();
    if (Rest->Finished())
        Complete(); // the thread is done: its file closed, its bytes taken over
    return ready;
}

void TJPEGImage::SetOnGrow(std::function<void()> Notice) {
    OnGrow = std::move(Notice);
    if (Rest)
        Rest->SetOnGrow(OnGrow);
}

void TJPEGImage::StopBackground() {
    if (Rest)
        Rest->Stop();
}

void TJPEGImage::ResumeBackground() {
    if (Rest)
        Rest->Go();
}

bool TJPEGImage::Damaged() const {
    Complete();
    return Warnings > 0;
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
    Complete();
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
    // At its own size the picture is shown as far as it is ready.
    if (Rest && Size == Decoded.size())
        return Decoded;
    Complete();
    EnsureDecodedFor(Size);
    return ScaleForDisplay(Decoded, Size);
}

QImage TJPEGImage::ToImage() const {
    Complete();
    if (Decoded.isNull() || Scale >= 8)
        return Decoded;
    TJpegDecodeResult result = DecodeJpeg(Data, nullptr, nullptr);
    Decoded = std::move(result.Image);
    Scale = result.Scale;
    return Decoded;
}
