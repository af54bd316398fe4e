#include "app/FileListDelegate.h"

#include "app/Main.h"

QSize TFileListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(Form->HorizontalExtent(), qMax(12, option.fontMetrics.height()));
}
