// The folder tree's mouse and keys, and its renaming in place.

#include "shelltree/ShellCtrls.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include <optional>

// ---- Renaming -------------------------------------------------------------

bool TShellTreeView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (trigger == AllEditTriggers || (trigger & editTriggers())) {
        QTreeWidgetItem* node = itemFromIndex(index);
        TShellFolderItem* item = ItemOf(node);
        if (!IsValidNode(node) || MouseMode != 0 || item->Level() == 0 ||
            !item->HasAttribute(SFGAO_CANRENAME))
            return false;
    }
    return QTreeWidget::edit(index, trigger, event);
}

void TShellTreeView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTreeWidget::closeEditor(editor, hint);
    QTreeWidgetItem* node = PendingRename;
    PendingRename = nullptr;
    if (node && PendingText != node->text(0))
        Edited(node, PendingText);
}

void TShellTreeView::Edited(QTreeWidgetItem* node, const QString& text) {
    const TTreeUpdate update(*this);
    node->setText(0, text);
    PauseWatching();
    ItemOf(node)->RenameItem(text);
    ResumeWatching();
}

void TShellTreeView::SortChildren(QTreeWidgetItem* parent, QTreeWidgetItem* moved) {
    if (!parent || !moved)
        return;
    const auto folder = ItemOf(moved)->ParentFolder();
    if (!folder)
        return;
    // Only the moved node is out of order; the selection stays where it is.
    QTreeWidgetItem* current = currentItem();
    const bool quiet = signalsBlocked();
    blockSignals(true);
    parent->removeChild(moved);
    int place = 0;
    while (place < parent->childCount() && IsValidNode(parent->child(place)) &&
           folder->CompareIDs(ItemOf(parent->child(place))->RelativeID(),
                              ItemOf(moved)->RelativeID()) == 2)
        ++place;
    parent->insertChild(place, moved);
    setCurrentItem(current);
    blockSignals(quiet);
}

void TShellFolderItem::RenameItem(const QString& name) {
    const auto folder = ParentFolder();
    if (!folder || !HasAttribute(SFGAO_CANRENAME))
        return;
    auto* tree = FNode ? qobject_cast<TShellTreeView*>(FNode->treeWidget()) : nullptr;
    std::optional<TShellTreeView::TTreeUpdate> update;
    if (tree)
        update.emplace(*tree);
    // A rename that fails waits on the user's answer to its message; a
    // device notice or a refresh meanwhile may delete the node, and this
    // item with it: then nothing of it is touched again.
    const QPersistentModelIndex alive(tree ? tree->indexFromItem(FNode) : QModelIndex());
    const ItemIDList id = FRelativeID;
    const ItemIDList renamed = folder->SetNameOf(tree, id, name);
    if (tree && !alive.isValid())
        return;
    if (!renamed.isNull() && tree) {
        const int level = Level();
        FName.clear();
        FRelativeID = renamed;
        FAbsoluteID =
            level == 1 ? CopyFirstID(renamed) : ConcatIDLists(ParentAbsoluteID(), renamed);
        const bool expanded = FNode->isExpanded();
        QTreeWidgetItem* current = tree->currentItem();
        const bool selected = current == FNode;
        // The subtree is read again under the new name; a folder shown inside
        // it gives way to the renamed one.
        while (FNode->childCount() > 0)
            tree->DeleteNode(FNode->child(FNode->childCount() - 1));
        tree->SortChildren(FNode->parent(), FNode);
        tree->RefreshChildren(FNode);
        if (expanded)
            FNode->setExpanded(true);
        // The folder on show has a new path: the window follows it.
        if (selected && tree->currentItem() == FNode)
            tree->ChangePending = true;
    }
    if (FNode)
        FNode->setText(0, DisplayName());
}

// ---- Mouse and keys -------------------------------------------------------

void TShellTreeView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    QTreeWidgetItem* node = itemAt(pos);
    // Only the icon and the label take a node; the rest of its row does not.
    const bool onLabel = node && LabelRect(node).contains(pos);
    const bool onButton = node && OnExpandButton(node, pos);
    const bool left = event->button() == Qt::LeftButton;
    const bool right = event->button() == Qt::RightButton;
    if (left || right)
        MouseMode = 0;
    if (node && !onLabel)
        SetDropHighlight(nullptr);
    // The right button never selects, and never takes the root.
    if (right && (!IsValidNode(node) || !onLabel || node == topLevelItem(0))) {
        event->accept();
        return;
    }
    if (!node || onButton || (!left && !right)) {
        QTreeWidget::mousePressEvent(event);
        return;
    }
    if (!onLabel) {
        event->accept();
        return;
    }
    // A click selects when the button comes up.
    MouseMode = left ? 1 : 2;
    Pressed = node;
    PressPoint = pos;
    SetDropHighlight(node);
    // A click on the selected node renames it only when the tree had focus.
    PressedWasCurrent = node == currentItem() && hasFocus();
    setFocus(Qt::MouseFocusReason);
    event->accept();
}

void TShellTreeView::mouseMoveEvent(QMouseEvent* event) {
    if (MouseMode == 1 || MouseMode == 2) {
        event->accept();
        StartShellDrag(event);
        return;
    }
    QTreeWidget::mouseMoveEvent(event);
}

void TShellTreeView::mouseReleaseEvent(QMouseEvent* event) {
    const bool left = MouseMode == 1 && event->button() == Qt::LeftButton;
    const bool right = MouseMode == 2 && event->button() == Qt::RightButton;
    if (!left && !right) {
        QTreeWidget::mouseReleaseEvent(event);
        return;
    }
    MouseMode = 0;
    // The node the press marked is the one the click selects.
    QTreeWidgetItem* node = DropHighlighted();
    SetDropHighlight(nullptr);
    Pressed = nullptr;
    event->accept();
    if (!left || !IsValidNode(node))
        return;
    if (PressedWasCurrent) {
        RenameCandidate = node;
        RenameDelay->start(QApplication::doubleClickInterval());
    } else {
        SelectNode(node);
    }
}

// The view would send a double click on as a second press, which on the
// selected node would start renaming it: a double click on a label opens or
// closes the node instead, and drops a rename still waiting.
void TShellTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
    RenameDelay->stop();
    RenameCandidate = nullptr;
    const QPoint pos = event->position().toPoint();
    QTreeWidgetItem* node = itemAt(pos);
    if (node && OnExpandButton(node, pos)) {
        QTreeWidget::mouseDoubleClickEvent(event);
        return;
    }
    if (event->button() != Qt::LeftButton || !node || !LabelRect(node).contains(pos)) {
        mousePressEvent(event);
        return;
    }
    event->accept();
    const QPersistentModelIndex index(indexFromItem(node));
    emit doubleClicked(index);
    if (index.isValid() && node->childIndicatorPolicy() != QTreeWidgetItem::DontShowIndicator &&
        (node->childCount() > 0 || node->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator))
        node->setExpanded(!node->isExpanded());
}

void TShellTreeView::keyPressEvent(QKeyEvent* event) {
    if (MouseMode == 1 || MouseMode == 2) {
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}
