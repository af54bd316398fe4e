#include "toolkit/Graphic.h"

#include "platform/Exceptions.h"
#include "platform/FileAccess.h"
#include "platform/FileName.h"
#include "platform/FileOperation.h"

#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

int TGraphic::Width() const {
    return Picture.width();
}

int TGraphic::Height() const {
    return Picture.height();
}

bool TGraphic::Empty() const {
    return Picture.isNull();
}

void TGraphic::Draw(QPainter& Canvas, const QRect& Rect) const {
    if (Empty() || Rect.isEmpty())
        return;
    const QImage image = ToImage();
    Canvas.save();
    Canvas.setRenderHint(QPainter::SmoothPixmapTransform, true);
    Canvas.drawImage(Rect, image);
    Canvas.restore();
}

QImage TGraphic::ScaledImage(const QSize& Size) const {
    return ScaleForDisplay(ToImage(), Size);
}

QRect TGraphic::ReadyRect() const {
    return QRect(0, 0, Width(), Height());
}

void TGraphic::SetOnGrow(std::function<void()>) {}

void TGraphic::StopBackground() {}

void TGraphic::ResumeBackground() {}

QImage TGraphic::ToImage() const {
    return Picture;
}

void TGraphic::LoadFromFile(const QString& FileName) {
    QFile file;
    if (const int code = OpenForReading(file, FileName))
        throw EInOutError(QStringLiteral("ファイル %1 を開けません（%2）")
                              .arg(DisplayPath(FileName), SystemReason(code)));
    LoadFromStream(file);
}

void TGraphic::SaveToStream(QIODevice& Stream) const {
    WriteBitmapFile(ToImage(), Stream);
}

void TGraphic::Assign(const TGraphic& Source) {
    if (&Source == this)
        return;
    QImage image = Source.ToImage();
    if (image.isNull() && !Source.Empty())
        throw EInvalidGraphic(
            QStringLiteral("%1 を %2 に代入できません").arg(Source.ClassName(), ClassName()));
    Picture = std::move(image);
}

void TGraphic::Progress(TProgressStage Stage, quint8 PercentDone, bool RedrawNow, const QRect& R,
                        const QString& Msg) {
    if (OnProgress)
        OnProgress(this, Stage, PercentDone, RedrawNow, R, Msg);
}

qint64 GraphicAllocationLimit() {
    return qint64(1024) * 1024 * 1024;
}

void EnsureImageAllocationLimit() {
    const int megabytes = int(GraphicAllocationLimit() / (1024 * 1024));
    if (QImageReader::allocationLimit() < megabytes)
        QImageReader::setAllocationLimit(megabytes);
}

void WriteBitmapFile(const QImage& Image, QIODevice& Stream) {
    if (Image.isNull())
        throw EInvalidGraphic(QStringLiteral("空の画像はビットマップに書き出せません"));
    QImageWriter writer(&Stream, "bmp");
    if (!writer.write(Image))
        throw EInOutError(
            QStringLiteral("ビットマップを書き出せません（%1）").arg(writer.errorString()));
}

QImage ScaleForDisplay(const QImage& Image, const QSize& Size) {
    if (Image.isNull() || Size.isEmpty() || Image.size() == Size)
        return Image;
    return Image.scaled(Size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}
