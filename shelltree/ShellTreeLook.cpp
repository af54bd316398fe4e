// How the folder tree draws its nodes: the delegate that marks the node under
// a press or a drag, draws a link's overlay and the rename box; the selection
// without focus; the sideways scrolling that keeps the selected label in view
// and the tool tip of a label cut by the edge.

#include "shelltree/ShellCtrls.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

void TShellTreeView::drawBranches(QPainter* painter, const QRect& rect,
                                  const QModelIndex& index) const {
    QTreeWidget::drawBranches(painter, rect, index);
    const int indent = indentation();
    painter->save();
    painter->setPen(QPen(palette().color(QPalette::Dark), 1, Qt::DotLine));
    const int middle = rect.center().y();
    // From the node's own column leftwards, one column per level.
    int right = rect.right();
    bool own = true;
    for (QModelIndex i = index; i.isValid() && right > rect.left(); i = i.parent()) {
        const int x = right - indent / 2;
        const bool below = i.sibling(i.row() + 1, 0).isValid();
        if (own) {
            // The line stops short of the button of a node with children.
            const QTreeWidgetItem* node = itemFromIndex(i);
            const bool button =
                node && (node->childCount() > 0 ||
                         node->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator);
            const int gap = button ? 5 : 0;
            painter->drawLine(x + gap, middle, right, middle);
            if (i.parent().isValid() || i.row() > 0)
                painter->drawLine(x, rect.top(), x, middle - gap);
            if (below)
                painter->drawLine(x, middle + gap, x, rect.bottom());
        } else if (below) {
            painter->drawLine(x, rect.top(), x, rect.bottom());
        }
        own = false;
        right -= indent;
    }
    painter->restore();
}

// Draws a link's overlay and the rename box, and hands a finished label edit
// to the tree.
class TShellTreeDelegate : public QStyledItemDelegate {
public:
    explicit TShellTreeDelegate(TShellTreeView* view) : QStyledItemDelegate(view), View(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        // Whether the folder has subfolders is looked at once it is drawn.
        if (TShellFolderItem* item = TShellTreeView::ItemOf(View->itemFromIndex(index)))
            item->HasSubfolders();
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

    // The rename box is an edit box: framed, on the base colour, over the
    // label and as wide as the name with room to type.
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* line = new QLineEdit(parent);
        line->setFrame(true);
        line->setAutoFillBackground(true);
        line->setBackgroundRole(QPalette::Base);
        QObject::connect(line, &QLineEdit::textChanged, line,
                         [this, line] { FitEditor(line, line->property("at").toPoint()); });
        return line;
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!line)
            return QStyledItemDelegate::updateEditorGeometry(editor, option, index);
        int textLeft = 0;
        LabelRect(option, index, &textLeft);
        const int height = std::max(option.rect.height(), line->sizeHint().height());
        const QPoint at(textLeft, option.rect.center().y() - height / 2 + 1);
        line->setProperty("at", at);
        line->resize(line->width(), height);
        FitEditor(line, at);
    }

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            View->PendingRename = View->itemFromIndex(index);
            View->PendingText = line->text();
        }
    }

private:
    // As wide as the name with room to type, over the text; moved left when
    // it would run past the view's edge.
    void FitEditor(QLineEdit* line, QPoint at) const {
        const QFontMetrics metrics(line->font());
        const int frame =
            2 * line->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, line) + 6;
        const int room = metrics.horizontalAdvance(QLatin1Char('M')) * 3;
        const int view = View->viewport()->width();
        const int width = std::min(metrics.horizontalAdvance(line->text()) + room + frame, view);
        line->setGeometry(std::max(0, std::min(at.x(), view - width)), at.y(), width,
                          line->height());
    }

    TShellTreeView* View;
};

void TShellTreeView::InitLook() {
    setItemDelegate(new TShellTreeDelegate(this));
    // The selected node stays marked while the tree has no focus (the digit
    // keys work in its folder), in the colour of a selection without focus.
    QPalette colours = palette();
    const QColor active = colours.color(QPalette::Active, QPalette::Highlight);
    QColor inactive = colours.color(QPalette::Inactive, QPalette::Highlight);
    if (inactive == active) {
        const QColor base = colours.color(QPalette::Inactive, QPalette::Base);
        inactive = QColor((active.red() * 35 + base.red() * 65) / 100,
                          (active.green() * 35 + base.green() * 65) / 100,
                          (active.blue() * 35 + base.blue() * 65) / 100);
        colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         colours.color(QPalette::Inactive, QPalette::Text));
    }
    colours.setColor(QPalette::Inactive, QPalette::Highlight, inactive);
    setPalette(colours);
    // One column as wide as the widest label: a deep folder scrolls sideways.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setHorizontalScrollMode(ScrollPerPixel);
    connect(this, &QTreeWidget::currentItemChanged, this, [this] { ScheduleLabelScroll(); });
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

// The column fills the view and is never narrower than its widest label.
int TShellTreeView::sizeHintForColumn(int column) const {
    return std::max(QTreeWidget::sizeHintForColumn(column), viewport()->width());
}

void TShellTreeView::ScheduleLabelScroll() {
    if (LabelScrollPending)
        return;
    LabelScrollPending = true;
    QTimer::singleShot(0, this, [this] {
        LabelScrollPending = false;
        ScrollToLabel(currentItem());
    });
}

// The view's own scrolling brings a row into view and its column's start
// with it; the label is what must show.
void TShellTreeView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    QTreeWidget::scrollTo(index, hint);
    ScrollToLabel(itemFromIndex(index));
}

// Scrolls sideways so that a node's icon and label show, their start first
// when they are wider than the view.
void TShellTreeView::ScrollToLabel(QTreeWidgetItem* node) {
    if (!node || Closing || !isVisible())
        return;
    executeDelayedItemsLayout();
    QRect label = LabelRect(node);
    QScrollBar* bar = horizontalScrollBar();
    if (label.right() + bar->value() >= header()->sectionSize(0) - 1) {
        header()->resizeSections(QHeaderView::ResizeToContents);
        updateGeometries();
        label = LabelRect(node);
    }
    const int width = viewport()->width();
    const int left = label.left() + bar->value();
    const int right = label.right() + bar->value();
    if (right - left + 1 > width || left < bar->value())
        bar->setValue(left);
    else if (right >= bar->value() + width)
        bar->setValue(right - width + 1);
}

void TShellTreeView::showEvent(QShowEvent* event) {
    QTreeWidget::showEvent(event);
    ScheduleLabelScroll();
}

// A label cut by the view's edge shows its whole name as a tool tip.
bool TShellTreeView::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QTreeWidget::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    QTreeWidgetItem* node = itemAt(help->pos());
    const QRect label = LabelRect(node);
    const QRect whole = WholeLabelRect(node);
    const bool cut = whole != label || !viewport()->rect().contains(whole);
    if (node && label.contains(help->pos()) && cut)
        QToolTip::showText(help->globalPos(), node->text(0), viewport(), label);
    else
        QToolTip::hideText();
    return true;
}
