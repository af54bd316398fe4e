// Looking closely while culling: zoom at the pointer with Ctrl and the wheel,
// + and - or Z, the zoom kept through a burst of same-sized pictures, and
// the legend of the ten keys over the view with the flash after a digit.
#include "app/Main.h"

#include "app/ImageView.h"
#include "app/Legend.h"
#include "app/MainRules.h"
#include "app/ZoomMath.h"
#include "platform/FileAccess.h"
#include "settings/Settings.h"
#include "toolkit/Picture.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

void AddMenuItem(QMenu* menu, QAction* action);

namespace {
QAction* MakeViewAction(TfrmVelmo* form, const char* name, const QString& caption,
                        const QList<QKeySequence>& keys) {
    auto* action = new QAction(caption, form);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setProperty("category", QStringLiteral("メニュー"));
    form->addAction(action);
    return action;
}
} // namespace

void TfrmVelmo::CreateZoomActions() {
    actZoomIn = MakeViewAction(this, "actZoomIn", QStringLiteral("拡大(&Z)"),
                               {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal),
                                QKeySequence(Qt::KeypadModifier | Qt::Key_Plus)});
    actZoomOut = MakeViewAction(
        this, "actZoomOut", QStringLiteral("縮小(&Y)"),
        {QKeySequence(Qt::Key_Minus), QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)});
    actZoomToggle = MakeViewAction(this, "actZoomToggle", QStringLiteral("100% と切り替え(&G)"),
                                   {QKeySequence(Qt::Key_Z)});
    actLegend = MakeViewAction(this, "actLegend", QStringLiteral("出力フォルダのキー(&K)"),
                               {QKeySequence(Qt::Key_K)});
    actLegend->setCheckable(true);
    actCompare = MakeViewAction(this, "actCompare", QStringLiteral("左に固定して比べる(&C)"),
                                {QKeySequence(Qt::Key_C)});
    actCompare->setCheckable(true);
    mnuView->addSeparator();
    for (QAction* a : {actZoomIn, actZoomOut, actZoomToggle, actLegend, actCompare})
        AddMenuItem(mnuView, a);
    connect(actZoomIn, &QAction::triggered, this, &TfrmVelmo::actZoomInExecute);
    connect(actZoomOut, &QAction::triggered, this, &TfrmVelmo::actZoomOutExecute);
    connect(actZoomToggle, &QAction::triggered, this, &TfrmVelmo::actZoomToggleExecute);
    connect(actLegend, &QAction::triggered, this, &TfrmVelmo::actLegendExecute);
    connect(actCompare, &QAction::triggered, this, &TfrmVelmo::actCompareExecute);
}

double TfrmVelmo::ChosenScale() const {
    return ChosenScaleIn(QSize(FPicture->Width(), FPicture->Height()), scbMain);
}

double TfrmVelmo::ChosenScaleIn(QSize picture, const QScrollArea* box) const {
    const int w = picture.width(), h = picture.height();
    if (w <= 0 || h <= 0)
        return 1;
    if (FitShowsActualSize(IniRec.DispSize, IniRec.Zoom, QSize(w, h), box->size()))
        return 1;
    if (IniRec.Proportional == 1) {
        const QSize fitted = ProportionalStretchSize(box->width(), box->height(), w, h);
        return qMax(1.0 / w, double(fitted.width()) / w);
    }
    const QSize view = box->viewport()->size();
    return qMax(1.0 / w, qMin(double(view.width()) / w, double(view.height()) / h));
}

QPointF TfrmVelmo::ZoomPointer() const {
    const QWidget* viewport = scbMain->viewport();
    const QPoint at = viewport->mapFromGlobal(QCursor::pos());
    if (viewport->rect().contains(at))
        return at;
    return QPointF(viewport->width() / 2.0, viewport->height() / 2.0);
}

void TfrmVelmo::ZoomTo(double scale, QPointF pointer) {
    const QSize natural(FPicture->Width(), FPicture->Height());
    if (natural.isEmpty())
        return;
    QScrollBar* h = scbMain->horizontalScrollBar();
    QScrollBar* v = scbMain->verticalScrollBar();
    const QPoint scroll(h->value(), v->value());
    // The scale on show now, as drawn.
    const double from =
        scbMain->widgetResizable() ? ChosenScale() : double(imgMain->width()) / natural.width();
    ViewScale = qAbs(scale - ChosenScale()) < 1e-6 ? 0 : scale;
    ZoomPicture = natural;
    LayOutPicture();
    if (!scbMain->widgetResizable()) {
        const double to = double(imgMain->width()) / natural.width();
        const bool centred = scbMain->alignment() & Qt::AlignHCenter;
        const QPoint at =
            ZoomScroll({natural, scbMain->viewport()->size(), centred}, from, scroll, to, pointer);
        h->setValue(at.x());
        v->setValue(at.y());
    }
    ShowScaleInStatus();
    LayOutPinned();
    // Zoomed in, the pictures next are decoded whole, at their own size.
    if (ShownIndex >= 0)
        PreloadAround(ShownIndex);
}

void TfrmVelmo::ZoomBy(int direction, QPointF pointer) {
    const QSize natural(FPicture->Width(), FPicture->Height());
    if (natural.isEmpty())
        return;
    const QSize view = scbMain->viewport()->size();
    const double whole =
        qMin(double(view.width()) / natural.width(), double(view.height()) / natural.height());
    const double chosen = ChosenScale();
    const double current = ViewScale > 0 ? ViewScale : chosen;
    const double next = ZoomStep(current, qMin(chosen, whole), direction);
    if (next != current)
        ZoomTo(next, pointer);
}

void TfrmVelmo::ShowZoomed() {
    const QSize natural(FPicture->Width(), FPicture->Height());
    scbMain->setWidgetResizable(false);
    imgMain->SetZoom(ViewScale, natural);
    const QSize shown = ZoomedSize(natural, ViewScale);
    imgMain->resize(shown);
    const QSize view = scbMain->viewport()->size();
    imgMain->setCursor(shown.width() > view.width() || shown.height() > view.height()
                           ? Qt::PointingHandCursor
                           : Qt::ArrowCursor);
}

void TfrmVelmo::KeepZoomFor(QSize picture) {
    if (ViewScale > 0 && (IniRec.KeepZoom != 1 || picture != ZoomPicture))
        ViewScale = 0;
}

void TfrmVelmo::ShowScaleInStatus() {
    QString text = PictureSizeText(FPicture->Width(), FPicture->Height());
    if (ViewScale > 0)
        text += QStringLiteral("  ") + QString::number(qRound(ViewScale * 100)) + QLatin1Char('%');
    staPanels[2]->setText(text);
}

bool TfrmVelmo::ZoomWheel(QObject* watched, QWheelEvent* wheel) {
    const bool pinned = scbPinned && (watched == static_cast<QObject*>(imgPinned) ||
                                      watched == scbPinned->viewport());
    // The pinned half follows the right one: its plain wheel scrolls that.
    if (pinned && !(wheel->modifiers() & Qt::ControlModifier))
        return QCoreApplication::sendEvent(scbMain->viewport(), wheel);
    if (!(wheel->modifiers() & Qt::ControlModifier) ||
        (!pinned && watched != static_cast<QObject*>(imgMain) && watched != scbMain->viewport()))
        return false;
    if (Busy())
        return true;
    // A notch is 120; a finer wheel adds up to notches.
    WheelRemainder += wheel->angleDelta().y();
    const int steps = WheelRemainder / 120;
    WheelRemainder -= steps * 120;
    // Both halves share their place: a point in either is the same pixel.
    const QPointF at =
        (pinned ? scbPinned : scbMain)->viewport()->mapFromGlobal(wheel->globalPosition());
    Command([this, steps, at] {
        for (int i = 0; i < qAbs(steps); ++i)
            ZoomBy(steps, at);
    });
    return true;
}

void TfrmVelmo::actZoomInExecute() {
    Command([this] { ZoomBy(1, ZoomPointer()); });
}

void TfrmVelmo::actZoomOutExecute() {
    Command([this] { ZoomBy(-1, ZoomPointer()); });
}

void TfrmVelmo::actZoomToggleExecute() {
    Command([this] {
        const QSize natural(FPicture->Width(), FPicture->Height());
        if (natural.isEmpty())
            return;
        const double chosen = ChosenScale();
        if (ViewScale > 0)
            ZoomTo(chosen, ZoomPointer());
        else if (qAbs(chosen - 1) > 1e-3)
            ZoomTo(1, ZoomPointer());
        else {
            // At its own size already: the whole picture, when it is larger.
            const QSize view = scbMain->viewport()->size();
            const double whole = qMin(double(view.width()) / natural.width(),
                                      double(view.height()) / natural.height());
            if (whole < 1)
                ZoomTo(whole, ZoomPointer());
        }
    });
}

bool TfrmVelmo::LegendVisible() const {
    return IsFullScreen() ? LegendInFullScreen : LegendInWindow;
}

void TfrmVelmo::actLegendExecute() {
    if (IsFullScreen())
        LegendInFullScreen = !LegendInFullScreen;
    else
        LegendInWindow = !LegendInWindow;
    UpdateLegend();
}

void TfrmVelmo::UpdateLegend() {
    if (!lgdSlots) {
        lgdSlots = new TLegend(scbMain->viewport());
        lblFlash = new TFlash(scbMain->viewport());
    }
    const bool visible = LegendVisible();
    actLegend->setChecked(visible);
    if (!visible) {
        lgdSlots->hide();
        return;
    }
    QStringList texts;
    QList<bool> usable;
    for (int d = 0; d < OutFolderCount; ++d) {
        const bool exists = !OutFolders[d].Path.isEmpty() && FileFacts(OutFolders[d].Path).IsDir;
        texts << LegendEntryText(d, OutFolders[d], exists);
        usable << exists;
    }
    lgdSlots->SetEntries(texts, usable);
    lgdSlots->show();
    lgdSlots->raise();
}

void TfrmVelmo::FlashTarget(int slot) {
    UpdateLegend();
    lblFlash->Flash(FlashText(slot - 1, OutFolders[slot - 1]));
}
