#include "app/ViewNotice.h"

#include <QEvent>

TViewNotice::TViewNotice(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setMargin(16);
    hide();
    parent->installEventFilter(this);
}

void TViewNotice::Tell(const QString& text) {
    setText(text);
    if (text.isEmpty()) {
        hide();
        return;
    }
    setGeometry(parentWidget()->rect());
    show();
    raise();
}

bool TViewNotice::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QLabel::eventFilter(watched, event);
}

QString NoticeText(const QString& name, const QString& reason) {
    return name + QStringLiteral(" を表示できません") + QLatin1Char('\n') + reason;
}
