#include "app/Legend.h"

#include "platform/FileName.h"
#include "settings/Settings.h"

#include <QEvent>
#include <QPainter>

namespace {
// The folder's own name when the slot has no title.
QString SlotName(const TOutFolderRec& slot) {
    if (!slot.Title.isEmpty())
        return slot.Title;
    const QString shown = DisplayPath(slot.Path);
    return shown.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
}
} // namespace

QString LegendEntryText(int digit, const TOutFolderRec& slot, bool exists) {
    const QString key = QString::number(digit);
    if (slot.Path.isEmpty())
        return key;
    const QString text = key + QLatin1Char(' ') + SlotName(slot);
    return exists ? text : text + QStringLiteral(" (フォルダなし)");
}

QString FlashText(int digit, const TOutFolderRec& slot) {
    return QStringLiteral("→ ") + QString::number(digit) + QLatin1Char(' ') + SlotName(slot);
}

TLegend::TLegend(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    parent->installEventFilter(this);
}

void TLegend::SetEntries(const QStringList& texts, const QList<bool>& usable) {
    Texts = texts;
    Usable = usable;
    Place();
    update();
}

void TLegend::Place() {
    const int h = fontMetrics().height() + 8;
    setGeometry(0, parentWidget()->height() - h, parentWidget()->width(), h);
}

bool TLegend::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize)
        Place();
    return QWidget::eventFilter(watched, event);
}

void TLegend::paintEvent(QPaintEvent*) {
    if (Texts.size() != 10)
        return;
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 150));
    const int cell = width() / 10;
    for (int i = 0; i < 10; ++i) {
        const int digit = (i + 1) % 10;
        const QRect box(i * cell + 2, 0, cell - 4, height());
        painter.setPen(Usable.value(digit) ? QColor(Qt::white) : QColor(150, 150, 150));
        painter.drawText(box, Qt::AlignCenter,
                         fontMetrics().elidedText(Texts[digit], Qt::ElideRight, box.width()));
    }
}

TFlash::TFlash(QWidget* parent) : QLabel(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAlignment(Qt::AlignCenter);
    setTextFormat(Qt::PlainText);
    setMargin(12);
    QFont big = font();
    if (big.pointSizeF() > 0)
        big.setPointSizeF(big.pointSizeF() * 2.2);
    else
        big.setPixelSize(big.pixelSize() * 2);
    big.setBold(true);
    setFont(big);
    setStyleSheet(QStringLiteral("color: white; background: rgba(0, 0, 0, 160);"));
    Timer.setSingleShot(true);
    connect(&Timer, &QTimer::timeout, this, &QWidget::hide);
    hide();
}

void TFlash::Flash(const QString& text, int ms) {
    setText(text);
    adjustSize();
    const QWidget* view = parentWidget();
    move((view->width() - width()) / 2, (view->height() - height()) / 2);
    show();
    raise();
    Timer.start(ms);
}
