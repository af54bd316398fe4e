// The picture view: showing the selected file, fitting it to the view,
// dragging it, the decoding progress and the status panels.
#include "app/Main.h"

#include "app/FileListDelegate.h"
#include "app/ImageView.h"
#include "app/MainRules.h"
#include "app/Preloader.h"
#include "app/ViewNotice.h"
#include "app/ZoomMath.h"
#include "platform/Exceptions.h"
#include "platform/FileAccess.h"
#include "platform/FileName.h"
#include "platform/MessageBox.h"
#include "settings/Settings.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"
#include "toolkit/Busy.h"
#include "toolkit/JPEGImage.h"
#include "toolkit/Picture.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>

namespace {
// Restores the scroll bars and the previous/next enabling however
// ShowPicture ends.
class TShowPictureEnd {
public:
    TShowPictureEnd(TfrmVelmo& form, int index) : Form(form), Index(index) {}
    ~TShowPictureEnd() {
        Form.actPrev->setEnabled(Index > 0);
        Form.actNext->setEnabled(Index < Form.LastIndex);
        Form.scbMain->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        Form.scbMain->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }

private:
    TfrmVelmo& Form;
    int Index;
};
} // namespace

void TfrmVelmo::ShowPicture(int i) {
    // Every step, the decoder's progress reports and the painting included,
    // runs behind the gate, so no other command acts half-way through.
    TGate gate(*this);
    TBusyCursor busy;
    // A zoom kept through a burst keeps its place: the scroll bars stay.
    if (ViewScale == 0) {
        scbMain->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scbMain->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    TShowPictureEnd end(*this, i);
    lblNotice->Tell(QString());
    if (i == -1) {
        FPicture->Clear();
        Preload->Clear();
        imgMain->Invalidate();
        imgMain->resize(0, 0);
        for (size_t panel = 1; panel <= 4; ++panel)
            staPanels[panel]->clear();
        ShownIndex = -1;
        return;
    }
    // The keys go on to the list after each picture, also after one that
    // failed to load.
    ListFocusPending = true;
    const QString p = PicturePath(i);
    // A Windows plug-in may take its time over the first picture: the
    // window comes first.
    if (!isVisible() && SPIs1 &&
        TPicture::FileFormatClass(GraphicExtension(p)) == TSPIBitmap::StaticClass())
        for (int k = 0; k < SPIs1->PluginCount() && !isVisible(); ++k)
            if (SPIs1->Plugins(k)->Remote())
                show();
    // What is left to decode of the picture on show waits, and goes when
    // another picture takes its place.
    FPicture->StopBackground();
    LoadAbandoned = false;
    try {
        // A picture decoded ahead is shown as it is: no decode, no progress.
        if (std::unique_ptr<TGraphic> ready = Preload->Take(p, CurrentFit()))
            FPicture->SetGraphic(std::move(ready));
        else if (LoadAbandoned)
            throw EAbort(QStringLiteral("picture given up"));
        else
            FPicture->LoadFromFile(p);
    } catch (const EAbort&) {
        if (LoadAbandoned)
            ShowLoadFailure(i, QStringLiteral("読み込みを中断しました"));
        throw;
    } catch (const Exception& e) {
        // The keys act on the selected file: the screen names it rather than
        // keep a picture the keys no longer act on.
        ShowLoadFailure(i, e.Message);
        // The error box tells the reason first, then the file.
        throw EInvalidGraphic(ErrorBoxText(e.Message) + QChar(13) + lstFile->item(i)->text() +
                              QStringLiteral(" を表示できません"));
    }
    imgMain->Invalidate();
    KeepZoomFor(QSize(FPicture->Width(), FPicture->Height()));
    LayOutPicture();
    LayOutPinned();
    ProcessMessages();
    staPanels[1]->setText(DisplayPath(FileNamePanelText(p, IniRec.FileName)) + CompanionMarkOf(i));
    ShowScaleInStatus();
    const TFileFacts info = FileFacts(p);
    if (!info.Exists) {
        staPanels[3]->clear();
        staPanels[4]->clear();
    } else {
        staPanels[3]->setText(FileSizeText(info.Size));
        staPanels[4]->setText(FileDateText(info.Modified));
    }
    ShownIndex = i;
    TellIfDamaged();
    PreloadAround(i);
}

void TfrmVelmo::TellIfDamaged() {
    // Known once the whole picture is decoded, which may be after it shows.
    const auto* jpeg = dynamic_cast<const TJPEGImage*>(FPicture->Graphic());
    const QString mark = QStringLiteral("（破損）");
    if (jpeg && ReadyPart().isEmpty() && !staPanels[2]->text().endsWith(mark) && jpeg->Damaged())
        staPanels[2]->setText(staPanels[2]->text() + mark);
}

void TfrmVelmo::ShowLoadFailure(int i, const QString& reason) {
    const QString p = PicturePath(i);
    FPicture->Clear();
    imgMain->Invalidate();
    imgMain->resize(0, 0);
    lblNotice->Tell(NoticeText(lstFile->item(i)->text(), reason));
    staPanels[1]->setText(DisplayPath(FileNamePanelText(p, IniRec.FileName)) + CompanionMarkOf(i));
    staPanels[2]->clear();
    const TFileFacts info = FileFacts(p);
    staPanels[3]->setText(info.Exists ? FileSizeText(info.Size) : QString());
    staPanels[4]->setText(info.Exists ? FileDateText(info.Modified) : QString());
    ShownIndex = i;
    // N and P go on from here as from any picture.
    PreloadAround(i);
}

QString TfrmVelmo::PicturePath(int i) const {
    return JoinPath(IniRec.CurrentPath, FileItemName(lstFile->item(i)));
}

TDisplayFit TfrmVelmo::CurrentFit() const {
    // At actual size the view does not matter: a new window size keeps what
    // was decoded.
    // Zoomed, with the zoom kept for the next pictures: each at its own size.
    if (IniRec.DispSize == 0 || (ViewScale > 0 && IniRec.KeepZoom == 1))
        return {0, 0, 0, QSize(), QSize()};
    // The viewport, which shrinks while scroll bars show, counts only for a
    // stretch that fills it.
    return {IniRec.DispSize, IniRec.Zoom, IniRec.Proportional, scbMain->size(),
            IniRec.Proportional == 1 ? QSize() : scbMain->viewport()->size()};
}

void TfrmVelmo::PreloadAround(int i) {
    // N, and a move or a delete, show the next item; P the one before.
    QStringList wanted;
    if (i >= 0 && i < lstFile->count()) {
        if (i + 1 < lstFile->count())
            wanted << PicturePath(i + 1);
        if (i > 0)
            wanted << PicturePath(i - 1);
    }
    Preload->Want(wanted, CurrentFit());
}

void TfrmVelmo::FitPicture() {
    LayOutPicture();
    LayOutPinned();
    // A new view size or new display settings: what was decoded ahead for
    // the old ones is thrown away and decoded again.
    if (ShownIndex >= 0 && ShownIndex < lstFile->count())
        PreloadAround(ShownIndex);
}

void TfrmVelmo::LayOutPicture() {
    if (FPicture->Width() == 0 && FPicture->Height() == 0)
        return;
    if (ViewScale > 0)
        return ShowZoomed();
    imgMain->SetZoom(0, QSize(FPicture->Width(), FPicture->Height()));
    if (IniRec.DispSize == 0) {
        SetPopupChecks(true, false);
        ShowActualSize();
        return;
    }
    SetPopupChecks(false, true);
    const QSize picture(FPicture->Width(), FPicture->Height());
    if (FitShowsActualSize(IniRec.DispSize, IniRec.Zoom, picture, scbMain->size()))
        ShowActualSize();
    else
        StretchToWindow();
}

void TfrmVelmo::ShowActualSize() {
    scbMain->setWidgetResizable(false);
    imgMain->resize(FPicture->Width(), FPicture->Height());
    const bool larger =
        FPicture->Width() > scbMain->width() || FPicture->Height() > scbMain->height();
    imgMain->setCursor(larger ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void TfrmVelmo::StretchToWindow() {
    if (IniRec.Proportional == 1) {
        const QSize fitted = ProportionalStretchSize(scbMain->width(), scbMain->height(),
                                                     FPicture->Width(), FPicture->Height());
        scbMain->setWidgetResizable(false);
        // A view too small for the margin leaves nothing to draw.
        imgMain->resize(qMax(0, fitted.width()), qMax(0, fitted.height()));
    } else {
        scbMain->setWidgetResizable(true);
    }
    imgMain->setCursor(Qt::ArrowCursor);
}

QSize TfrmVelmo::DisplaySizeFor(QSize natural) const {
    // The size the picture will be shown at with the current settings, so a
    // decoder can decode no more than is needed.
    return DisplaySize(CurrentFit(), natural);
}

QRect TfrmVelmo::FirstViewOf(QSize natural) const {
    if (DisplaySizeFor(natural) != natural)
        return QRect();
    // The scroll position stays where it was, or moves towards the top left
    // when the new picture is smaller; the view is no larger than its box.
    const QPoint at(scbMain->horizontalScrollBar()->value(), scbMain->verticalScrollBar()->value());
    // Zoomed, what the view shows of a picture as large as the one before.
    if (ViewScale > 0)
        return natural == ZoomPicture && IniRec.KeepZoom == 1
                   ? ZoomVisiblePart({natural, scbMain->viewport()->size(), false}, ViewScale, at)
                   : QRect();
    return QRect(QPoint(0, 0), QSize(at.x(), at.y()) + scbMain->size());
}

QRect TfrmVelmo::ReadyPart() const {
    const QRect ready = FPicture->ReadyRect();
    return ready == QRect(0, 0, FPicture->Width(), FPicture->Height()) ? QRect() : ready;
}

void TfrmVelmo::SetPopupChecks(bool original, bool stretch) {
    PopupChecks = {original, stretch};
    pmnImageOriginal->setChecked(original);
    pmnImageStretch->setChecked(stretch);
}

void TfrmVelmo::pmnImageOriginalClick() {
    Command([this] {
        // Choosing an item toggles its mark by itself; the marks follow the
        // picture's layout only, so put them back until a picture is fitted.
        SetPopupChecks(PopupChecks.first, PopupChecks.second);
        IniRec.DispSize = 0;
        ViewScale = 0;
        FitPicture();
        ShowScaleInStatus();
    });
}

void TfrmVelmo::pmnImageStretchClick() {
    Command([this] {
        SetPopupChecks(PopupChecks.first, PopupChecks.second);
        IniRec.DispSize = 1;
        ViewScale = 0;
        FitPicture();
        ShowScaleInStatus();
    });
}

void TfrmVelmo::imgMainMouseDown(int x, int y) {
    Dragging = true;
    DragX = x;
    DragY = y;
}

void TfrmVelmo::imgMainMouseMove(int x, int y) {
    if (!Dragging)
        return;
    QScrollBar* h = scbMain->horizontalScrollBar();
    QScrollBar* v = scbMain->verticalScrollBar();
    h->setValue(h->value() - (x - DragX));
    v->setValue(v->value() - (y - DragY));
}

void TfrmVelmo::imgMainMouseUp(int, int) {
    Dragging = false;
}

void TfrmVelmo::imgMainProgress(int stage, int percent) {
    if (stage == 0) {
        lstFile->setEnabled(false);
        // Over panel 1, wherever the status bar's layout put it.
        const QRect panel1 = staPanels[1]->geometry();
        pgbMain->setGeometry(panel1.x() + 1, 2, panel1.width() - 2, staMain->height() - 2);
        pgbMain->raise();
        pgbMain->show();
    } else if (stage == 2) {
        lstFile->setEnabled(true);
        pgbMain->hide();
    }
    pgbMain->setValue(percent);
    ProcessMessages();
}
