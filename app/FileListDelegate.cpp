#include "app/FileListDelegate.h"

#include "app/Main.h"
#include "history/FileGroups.h"
#include "platform/FileName.h"

#include <QApplication>
#include <QListWidgetItem>
#include <QStyle>

namespace {
constexpr int RealNameRole = Qt::UserRole + 1;
constexpr int CompanionsRole = Qt::UserRole + 2;
} // namespace

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

void SetFileItemCompanions(QListWidgetItem* item, const QStringList& names) {
    item->setData(CompanionsRole, names.isEmpty() ? QVariant() : QVariant(names));
}

QStringList FileItemCompanions(const QListWidgetItem* item) {
    return item->data(CompanionsRole).toStringList();
}

void TFileListDelegate::initStyleOption(QStyleOptionViewItem* option,
                                        const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const QStringList companions = index.data(CompanionsRole).toStringList();
    const QVariant real = index.data(RealNameRole);
    if (!companions.isEmpty())
        option->text =
            DisplayPath(GroupLabel(real.isValid() ? real.toString() : option->text, companions));
}

QSize TFileListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    // The style keeps a margin on each side of the text; the row makes room
    // for it, so the widest name is seen whole when scrolled to the end.
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1;
    return QSize(Form->HorizontalExtent() + 2 * margin, qMax(12, option.fontMetrics.height()));
}
