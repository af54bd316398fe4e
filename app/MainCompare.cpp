// Compare: the picture on show is pinned to the left half of the view, and
// the right half steps through the list as ever. Both show their pictures at
// one scale and place; the digit keys and delete act on the right one.
#include "app/Main.h"

#include "app/ImageView.h"
#include "app/ZoomMath.h"
#include "settings/Settings.h"
#include "toolkit/Graphic.h"
#include "toolkit/Picture.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>

bool TfrmVelmo::Comparing() const {
    return scbPinned && !scbPinned->isHidden();
}

void TfrmVelmo::MakePinnedView() {
    scbPinned = new QScrollArea(scbMain->parentWidget());
    scbPinned->setObjectName(QStringLiteral("scbPinned"));
    scbPinned->setWidgetResizable(false);
    imgPinned = new TImage;
    imgPinned->setObjectName(QStringLiteral("imgPinned"));
    imgPinned->ScaledImage = [this](QSize size) {
        return size == PinnedImage.size()
                   ? PinnedImage
                   : PinnedImage.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    scbPinned->setWidget(imgPinned);
    auto* row = static_cast<QHBoxLayout*>(scbMain->parentWidget()->layout());
    row->insertWidget(row->indexOf(scbMain), scbPinned, 1);
    lblPinned = new QLabel(scbPinned->viewport());
    lblPinned->setAttribute(Qt::WA_TransparentForMouseEvents);
    lblPinned->setTextFormat(Qt::PlainText);
    lblPinned->setMargin(4);
    lblPinned->setStyleSheet(QStringLiteral("color: white; background: rgba(160, 20, 20, 190);"));
    // Dragging either half moves the right one, and the left follows it.
    connect(imgPinned, &TImage::MouseDown, this, &TfrmVelmo::imgMainMouseDown);
    connect(imgPinned, &TImage::MouseMove, this, &TfrmVelmo::imgMainMouseMove);
    connect(imgPinned, &TImage::MouseUp, this, &TfrmVelmo::imgMainMouseUp);
    scbPinned->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scbPinned->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(scbMain->horizontalScrollBar(), &QScrollBar::valueChanged,
            scbPinned->horizontalScrollBar(), &QScrollBar::setValue);
    connect(scbMain->verticalScrollBar(), &QScrollBar::valueChanged, scbPinned->verticalScrollBar(),
            &QScrollBar::setValue);
}

void TfrmVelmo::actCompareExecute() {
    actCompare->setChecked(Comparing());
    Command([this] {
        if (Comparing())
            return LeaveCompare();
        const TGraphic* shown = FPicture->Graphic();
        if (!shown || FPicture->Empty())
            return;
        if (!scbPinned)
            MakePinnedView();
        PinnedImage = shown->ToImage();
        lblPinned->setText(QStringLiteral("固定: ") + lstFile->currentItem()->text());
        lblPinned->adjustSize();
        scbPinned->setStyleSheet(scbMain->styleSheet());
        scbPinned->setAlignment(scbMain->alignment());
        scbPinned->show();
        actCompare->setChecked(true);
        // The halves are laid out before the picture is fitted to its half.
        scbMain->parentWidget()->layout()->activate();
        FitPicture();
    });
}

void TfrmVelmo::LeaveCompare() {
    if (!Comparing())
        return;
    scbPinned->hide();
    PinnedImage = QImage();
    imgPinned->Invalidate();
    actCompare->setChecked(false);
    scbMain->parentWidget()->layout()->activate();
    FitPicture();
}

void TfrmVelmo::LayOutPinned() {
    if (!Comparing() || PinnedImage.isNull())
        return;
    const QSize natural = PinnedImage.size();
    const double scale = ViewScale > 0 ? ViewScale : ChosenScaleIn(natural, scbPinned);
    imgPinned->SetZoom(scale, natural);
    imgPinned->resize(ZoomedSize(natural, scale));
    imgPinned->setCursor(imgMain->cursor());
    scbPinned->horizontalScrollBar()->setValue(scbMain->horizontalScrollBar()->value());
    scbPinned->verticalScrollBar()->setValue(scbMain->verticalScrollBar()->value());
    lblPinned->raise();
}
