#include "app/FileListDelegate.h"

#include "app/Main.h"
#include "platform/FileName.h"

#include <QApplication>
#include <QListWidgetItem>
#include <QStyle>

namespace {
constexpr int RealNameRole = Qt::UserRole + 1;
}

void SetFileItemName(QListWidgetItem* item, const QString& name) {
    const QString shown = DisplayPath(name);
    item->setText(shown);
    if (shown != name)
        item->setData(RealNameRole, name);
}

QString FileItemName(const QListWidgetItem* item) {
    const QVariant real = item->data(RealNameRole);
    return real.isValid() ? real.toString() : item->text();
}

QSize TFileListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    // The style keeps a margin on each side of the text; the row makes room
    // for it, so the widest name is seen whole when scrolled to the end.
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1;
    return QSize(Form->HorizontalExtent() + 2 * margin, qMax(12, option.fontMetrics.height()));
}
