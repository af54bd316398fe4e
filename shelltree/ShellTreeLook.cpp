// How the folder tree draws its nodes: the delegate that marks the node under
// a press or a drag and draws a link's overlay.

#include "shelltree/ShellCtrls.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>
// Draws a link's overlay and hands a finished label edit to the tree.
class TShellTreeDelegate : public QStyledItemDelegate {
public:
    explicit TShellTreeDelegate(TShellTreeView* view) : QStyledItemDelegate(view), View(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        // The node under a press or a drag is marked as selected; the
        // selection itself steps back meanwhile.
        QStyleOptionViewItem shown = option;
        if (View->FDropHighlight.isValid()) {
            shown.state &= ~QStyle::State_Selected;
            if (View->FDropHighlight == index)
                shown.state |= QStyle::State_Selected | QStyle::State_Active;
        }
        QStyledItemDelegate::paint(painter, shown, index);
        if (index.data(OverlayRole).toInt() != 1)
            return;
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        const QRect icon = style->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, widget);
        const int side = std::max(8, icon.height() / 2);
        LinkOverlayIcon().paint(painter, QRect(icon.left(), icon.bottom() - side + 1, side, side));
    }

    // The icon and the whole text of a node drawn in `option.rect`; the
    // text's own left edge in `textLeft`.
    QRect LabelRect(const QStyleOptionViewItem& option, const QModelIndex& index,
                    int* textLeft = nullptr) const {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        const QRect icon = style->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, widget);
        QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        text.setWidth(opt.fontMetrics.horizontalAdvance(opt.text) + 2 * margin);
        if (textLeft)
            *textLeft = text.left();
        return icon.united(text);
    }

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            View->PendingRename = View->itemFromIndex(index);
            View->PendingText = line->text();
        }
    }

private:
    TShellTreeView* View;
};

void TShellTreeView::InitLook() {
    setItemDelegate(new TShellTreeDelegate(this));
    // The selection is hidden while the tree has no focus.
    QPalette colours = palette();
    colours.setColor(QPalette::Inactive, QPalette::Highlight,
                     colours.color(QPalette::Inactive, QPalette::Base));
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     colours.color(QPalette::Inactive, QPalette::Text));
    setPalette(colours);
}

QRect TShellTreeView::WholeLabelRect(const QTreeWidgetItem* node) const {
    const auto* delegate = dynamic_cast<const TShellTreeDelegate*>(itemDelegate());
    if (!node || !delegate)
        return QRect();
    const QModelIndex index = indexFromItem(node);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return delegate->LabelRect(option, index);
}

QRect TShellTreeView::LabelRect(const QTreeWidgetItem* node) const {
    return node ? WholeLabelRect(node).intersected(visualItemRect(node)) : QRect();
}

bool TShellTreeView::OnExpandButton(const QTreeWidgetItem* node, QPoint pos) const {
    const QRect row = visualItemRect(node);
    return pos.x() < row.left() && pos.x() >= row.left() - indentation();
}
