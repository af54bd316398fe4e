// The folder tree's drag and drop with the desktop: dragging a folder out of
// the tree, and taking shell items and files dropped on its folders.

#include "shelltree/ShellCtrls.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QFontInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>

#include <cstdlib>

namespace {
// A press turns into a drag when the pointer has gone more than this far.
constexpr int kDragDistance = 5;

bool HasExpandButton(const QTreeWidgetItem* node) {
    const auto policy = node->childIndicatorPolicy();
    return policy == QTreeWidgetItem::ShowIndicator ||
           (policy == QTreeWidgetItem::DontShowIndicatorWhenChildless && node->childCount() > 0);
}
} // namespace

QTreeWidgetItem* TShellTreeView::DropHighlighted() const {
    return FDropHighlight.isValid() ? itemFromIndex(FDropHighlight) : nullptr;
}

void TShellTreeView::SetDropHighlight(QTreeWidgetItem* node) {
    const QPersistentModelIndex index =
        node ? QPersistentModelIndex(indexFromItem(node)) : QPersistentModelIndex();
    if (index == FDropHighlight)
        return;
    FDropHighlight = index;
    viewport()->update();
}

void TShellTreeView::ReleaseDropTargets() {
    // A handler still at work holds itself; the others go.
    for (auto i = DropTargetsInUse.size(); i-- > 0;)
        if (DropTargetsInUse[i].use_count() <= 1)
            DropTargetsInUse.erase(DropTargetsInUse.begin() + qsizetype(i));
}

// ---- The tree as drag source ----------------------------------------------

void TShellTreeView::StartShellDrag(QMouseEvent* event) {
    QTreeWidgetItem* node = DropHighlighted();
    const Qt::MouseButton button = MouseMode == 1 ? Qt::LeftButton : Qt::RightButton;
    if (!IsValidNode(node) || !(event->buttons() & button))
        return;
    TShellFolderItem* item = ItemOf(node);
    if (!item->HasAttribute(SFGAO_CANLINK) && !item->HasAttribute(SFGAO_CANCOPY) &&
        !item->HasAttribute(SFGAO_CANMOVE))
        return;
    const QPoint pos = event->position().toPoint();
    if (std::abs(pos.x() - PressPoint.x()) <= kDragDistance &&
        std::abs(pos.y() - PressPoint.y()) <= kDragDistance)
        return;
    if (!DoShBeginDrag(node, PressPoint, pos.x(), pos.y()))
        return;
    const auto folder = item->ParentFolder();
    if (!folder)
        return;
    const unsigned attributes = folder->GetAttributesOf(
        item->Level() == 0 ? item->AbsoluteID() : item->RelativeID(), SFGAO_CAPABILITYMASK);
    QMimeData* data = MakeShellDragData(item->FolderPath(), item->AbsoluteID());
    if (!data)
        return;
    MouseMode = 3;
    Pressed = nullptr;
    QPointer<QDrag> drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(node->icon(0).pixmap(16, 16));
    // Both buttons down cancel the drag, as on the desktop it stands for.
    QTimer bothButtons;
    bothButtons.setInterval(50);
    connect(&bothButtons, &QTimer::timeout, this, [] {
        const Qt::MouseButtons both = Qt::LeftButton | Qt::RightButton;
        if ((QGuiApplication::mouseButtons() & both) == both)
            QDrag::cancel();
    });
    bothButtons.start();
    // Copy, move and link have the same bits as the drop actions.
    drag->exec(Qt::DropActions(int(attributes & (SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANLINK))));
    MouseMode = 0;
    SetDropHighlight(nullptr);
}

void TShellTreeView::contextMenuEvent(QContextMenuEvent* event) {
    // The desktop asks for the menu as the right button goes down; the press
    // may still become a drag, and its release ends it.
    if (event->reason() == QContextMenuEvent::Mouse && MouseMode == 2) {
        event->accept();
        return;
    }
    QTreeWidget::contextMenuEvent(event);
    SetDropHighlight(nullptr);
    MouseMode = 0;
}

// ---- The tree as drop target ----------------------------------------------

void TShellTreeView::dragEnterEvent(QDragEnterEvent* event) {
    HoverCount = 0;
    CurrentDrag.reset();
    RightDrag = event->buttons() & Qt::RightButton;
    if (!OffersShellData(event->mimeData())) {
        event->ignore();
        return;
    }
    try {
        CurrentDrag = std::make_unique<TShellDragObject>(event->mimeData());
        if (!DoShDragEnter(CurrentDrag.get(), {event->modifiers(), event->buttons()},
                           event->position().toPoint())) {
            CurrentDrag.reset();
            event->ignore();
            return;
        }
        MouseMode = 3;
        event->accept();
    } catch (...) {
        CurrentDrag.reset();
        SetDropHighlight(nullptr);
        MouseMode = 0;
        event->ignore();
    }
}

void TShellTreeView::dragMoveEvent(QDragMoveEvent* event) {
    if (!CurrentDrag) {
        event->ignore();
        return;
    }
    LastDragPoint = event->position().toPoint();
    LastDragKeys = {event->modifiers(), event->buttons()};
    LastDragActions = event->possibleActions();
    Qt::DropAction effect = Qt::IgnoreAction;
    try {
        effect = DragOverAt(LastDragPoint, LastDragKeys, LastDragActions);
    } catch (...) {
        // Answered as no drop; the drag goes on.
    }
    // Another program hears of no more than a copy, which is what its drag
    // ends with: Velmo moves the files itself, and a source that removed
    // its files after a move would lose those the work could not take.
    if (effect == Qt::MoveAction && !event->source() && (event->possibleActions() & Qt::CopyAction))
        effect = Qt::CopyAction;
    if (effect == Qt::IgnoreAction) {
        event->ignore();
    } else {
        event->setDropAction(effect);
        event->accept();
    }
    // The desktop reports only moves: a resting pointer is reported again.
    if (!DragRepeat) {
        DragRepeat = new QTimer(this);
        DragRepeat->setInterval(50);
        connect(DragRepeat, &QTimer::timeout, this, [this] {
            if (CurrentDrag)
                DragOverAt(LastDragPoint, LastDragKeys, LastDragActions);
            else
                DragRepeat->stop();
        });
    }
    DragRepeat->start();
}

Qt::DropAction TShellTreeView::DragOverAt(QPoint pos, TDragKeys keys, Qt::DropActions offered) {
    Qt::DropActions effect = Qt::IgnoreAction;
    QTreeWidgetItem* node = itemAt(pos);
    if (!node) {
        SetDropHighlight(nullptr);
    } else {
        QTreeWidgetItem* before = DropHighlighted();
        SetDropHighlight(node);
        if (IsValidNode(node)) {
            TShellFolderItem* item = ItemOf(node);
            if (item->HasAttribute(SFGAO_DROPTARGET) || item->Level() == 0) {
                if (const auto target = DropTargetOf(node)) {
                    Qt::DropActions copy = offered;
                    target->DragEnter(*CurrentDrag, keys, pos, copy);
                    effect = offered;
                    if (!target->DragOver(keys, pos, effect))
                        effect = Qt::IgnoreAction;
                    target->DragLeave();
                    DoShDragOver(CurrentDrag.get(), node, keys, pos.x(), pos.y());
                }
            }
            if (node == before) {
                if (++HoverCount > 30 && HasExpandButton(node)) {
                    node->setExpanded(true);
                    HoverCount = 0;
                }
            } else {
                HoverCount = 0;
            }
        }
    }
    ScrollNearEdges(pos);
    if (effect & Qt::LinkAction)
        return Qt::LinkAction;
    return effect & Qt::MoveAction ? Qt::MoveAction
                                   : (effect & Qt::CopyAction ? Qt::CopyAction : Qt::IgnoreAction);
}

void TShellTreeView::ScrollNearEdges(QPoint pos) {
    // The band is the font's height; the far edges leave room for a scroll
    // bar's thumb when there is something to scroll.
    const int band = std::abs(QFontInfo(font()).pixelSize());
    const int thumb = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const QPoint at = pos + viewport()->pos();
    QScrollBar* vertical = verticalScrollBar();
    QScrollBar* horizontal = horizontalScrollBar();
    if (at.y() < band)
        vertical->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (at.y() > height() - band - (vertical->maximum() > 0 ? thumb : 0))
        vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (at.x() < band)
        horizontal->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (at.x() > width() - band - (horizontal->maximum() > 0 ? thumb : 0))
        horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

void TShellTreeView::dragLeaveEvent(QDragLeaveEvent* event) {
    if (DragRepeat)
        DragRepeat->stop();
    if (CurrentDrag) {
        CurrentDrag.reset();
        DoShDragLeave();
    }
    SetDropHighlight(nullptr);
    MouseMode = 0;
    event->accept();
}

void TShellTreeView::dropEvent(QDropEvent* event) {
    if (DragRepeat)
        DragRepeat->stop();
    Qt::DropActions effect = Qt::IgnoreAction;
    const QPoint pos = event->position().toPoint();
    // The drop lands on the folder under the pointer, which the highlight
    // shows.
    QTreeWidgetItem* node = CurrentDrag ? itemAt(pos) : nullptr;
    SetDropHighlight(node);
    const TDragKeys keys{event->modifiers(), event->buttons()};
    try {
        if (CurrentDrag && IsValidNode(node) &&
            DoShDragDrop(CurrentDrag.get(), node, keys, pos.x(), pos.y()))
            effect = DropOn(node, pos, keys, event->possibleActions());
    } catch (...) {
        effect = Qt::IgnoreAction;
    }
    SetDropHighlight(nullptr);
    MouseMode = 0;
    CurrentDrag.reset();
    if (effect == Qt::IgnoreAction) {
        event->ignore();
    } else {
        event->setDropAction(Qt::DropAction(int(effect)));
        event->accept();
    }
}

Qt::DropActions TShellTreeView::DropOn(QTreeWidgetItem* node, QPoint pos, TDragKeys keys,
                                       Qt::DropActions offered) {
    TShellFolderItem* item = ItemOf(node);
    const auto target =
        item->HasAttribute(SFGAO_DROPTARGET) || item->Level() == 0 ? DropTargetOf(node) : nullptr;
    if (!target)
        return Qt::IgnoreAction;
    // The source has let go of the button; the handler is told which one
    // made the drag.
    const TDragKeys held{keys.Modifiers,
                         keys.Buttons | (RightDrag ? Qt::RightButton : Qt::LeftButton)};
    Qt::DropActions copy = offered;
    Qt::DropActions effect = offered;
    if (!target->DragEnter(*CurrentDrag, held, pos, copy) || !target->DragOver(held, pos, effect))
        return Qt::IgnoreAction;
    effect = offered;
    target->Drop(*CurrentDrag, keys, pos, effect);
    DropTargetsInUse.push_back(target);
    return effect;
}

std::shared_ptr<TShellDropTarget> TShellTreeView::DropTargetOf(QTreeWidgetItem* node) {
    TShellFolderItem* item = ItemOf(node);
    const bool trash = item->ItemType() == itBitBucket;
    const QString path = trash ? QString() : item->FolderPath();
    if (!trash && path.isEmpty())
        return nullptr;
    QPointer<TShellTreeView> self(this);
    // Once the work is done the tree looks at its folders again: the drop
    // may have gone where no watcher looks.
    return std::make_shared<TShellDropTarget>(window(), path, trash, DropMenu, [self] {
        if (self)
            QTimer::singleShot(0, self.data(), [self] {
                if (self)
                    self->OnDirChange();
            });
    });
}

// ---- Events ---------------------------------------------------------------

bool TShellTreeView::DoShBeginDrag(QTreeWidgetItem* node, QPoint pt, int x, int y) {
    bool canDrag = true;
    if (OnShBeginDrag)
        OnShBeginDrag(this, node, pt, x, y, canDrag);
    return canDrag;
}

bool TShellTreeView::DoShDragEnter(TShellDragObject* drag, TDragKeys keys, QPoint pt) {
    bool accept = true;
    if (OnShDragEnter)
        OnShDragEnter(this, drag, keys, pt, accept);
    return accept;
}

void TShellTreeView::DoShDragOver(TShellDragObject* drag, QTreeWidgetItem* node, TDragKeys keys,
                                  int x, int y) {
    if (OnShDragOver)
        OnShDragOver(this, drag, node, keys, x, y);
}

bool TShellTreeView::DoShDragDrop(TShellDragObject* drag, QTreeWidgetItem* node, TDragKeys keys,
                                  int x, int y) {
    bool defaultAction = true;
    if (OnShDragDrop)
        OnShDragDrop(this, drag, node, keys, x, y, defaultAction);
    return defaultAction;
}

void TShellTreeView::DoShDragLeave() {
    if (OnShDragLeave)
        OnShDragLeave(this);
}
