#include "app/FileListDelegate.h"

#include "app/Main.h"
#include "platform/FileName.h"

#include <QListWidgetItem>

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
    return QSize(Form->HorizontalExtent(), qMax(12, option.fontMetrics.height()));
}
