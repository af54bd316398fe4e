#pragma once

#include "shelltree/ShellDrop.h"
#include "shelltree/ShellIDFunc.h"

#include <QStringList>
#include <QTreeWidget>

class QTimer;
#include <functional>
class TShDirWatcher;
#include <memory>
#include <vector>

// A tree node; it owns its item.
class TShellTreeNode : public QTreeWidgetItem {
public:
    explicit TShellTreeNode(std::unique_ptr<TShellFolderItem> item);
    TShellFolderItem* Data() const { return Item.get(); }
    // The icons are asked when the node is drawn.
    QVariant data(int column, int role) const override;

private:
    std::unique_ptr<TShellFolderItem> Item;
};

// A device notice from the watcher: the drive's new caption, the event
// (0x8000 arrival, 0x8004 removal complete), the drive's ID list and the
// kind (1 media of a volume, 2 network drive).
struct TDeviceChangeData {
    QString Caption;
    int Event = 0;
    ItemIDList DriveID;
    int Kind = 0;
};

// The folder tree of the left pane: the desktop namespace, read level by
// level as it is needed, and merged with fresh listings so that folders that
// still exist keep their state.
class TShellTreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TShellTreeView(QWidget* parent = nullptr);
    ~TShellTreeView() override;

    // Makes the root (selecting it, so Change is raised) and lists it.
    void Loaded();

    // The path of the selected folder; empty when nothing is selected or it
    // is no file-system folder.
    QString SelectedPath() const;
    // Selects the folder of a path, listing the levels on the way; a path
    // that cannot be resolved changes nothing. Returns whether it resolved.
    bool SelectPath(const QString& path);
    // Redraws the tree without reading its folders again.
    void Repaint();

    void FillRoot();
    int EnumChildren(const std::shared_ptr<TShellFolder>& folder, TShellFolderItem* parent,
                     std::vector<std::unique_ptr<TShellFolderItem>>& list);
    // Merges a fresh listing into the node's children. When `watched` is
    // given, tells whether it was deleted on the way.
    void RefreshChildren(QTreeWidgetItem* node, const QTreeWidgetItem* watched = nullptr,
                         bool* watchedDeleted = nullptr);
    void RefreshAll();
    // The node of an absolute ID list; the root when it is not in the tree.
    QTreeWidgetItem* FindNode(const ItemIDList& list);
    void SelectIDList(const ItemIDList& list);
    ItemIDList SelectedIDList() const;

    bool IncludeHidden() const { return FIncludeHidden; }
    void SetIncludeHidden(bool include);
    TShVirtuaItems ShVirtuaItems() const { return FShVirtuaItems; }
    void SetShVirtuaItems(TShVirtuaItems items);

    // The watcher's handlers.
    void OnDirChange();
    void OnDeviceChange(TDeviceChangeData* notice);
    void PauseWatching();
    void ResumeWatching();
    // The watcher thread; null once it has ended.
    TShDirWatcher* DirWatcher() const { return Watcher; }

    static bool IsValidNode(const QTreeWidgetItem* node);
    static TShellFolderItem* ItemOf(const QTreeWidgetItem* node);

    // 0 idle, 1 left button held on a node, 2 right button, 3 shell drag.
    int MouseMode = 0;
    // The mount points of the fixed disks, read once.
    QStringList FixedDrives;

    // Drag and drop with the desktop (ShellDrag.cpp). The events are raised
    // only when assigned.
    QPoint PressPoint;
    int HoverCount = 0;
    bool RightDrag = false;
    std::unique_ptr<TShellDragObject> CurrentDrag;
    std::vector<std::shared_ptr<TShellDropTarget>> DropTargetsInUse;
    std::function<void(TShellTreeView*, QTreeWidgetItem* node, QPoint pt, int x, int y,
                       bool& canDrag)>
        OnShBeginDrag;
    std::function<void(TShellTreeView*, TShellDragObject*, TDragKeys, QPoint, bool& accept)>
        OnShDragEnter;
    std::function<void(TShellTreeView*, TShellDragObject*, QTreeWidgetItem*, TDragKeys, int x,
                       int y)>
        OnShDragOver;
    std::function<void(TShellTreeView*, TShellDragObject*, QTreeWidgetItem*, TDragKeys, int x,
                       int y, bool& defaultAction)>
        OnShDragDrop;
    std::function<void(TShellTreeView*)> OnShDragLeave;
    // The menu of a right-button drop (the drop handlers' own when unset).
    TShellDropTarget::TDropMenu DropMenu;
    // Lets go of the drop handlers that only the tree still holds.
    void ReleaseDropTargets();
    // The node marked under a press or a dragged pointer.
    QTreeWidgetItem* DropHighlighted() const;
    // A node's icon and label, in the viewport's coordinates; the part of
    // its row that takes a click.
    QRect LabelRect(const QTreeWidgetItem* node) const;
    // Whether a point of the viewport is on the node's expand button.
    bool OnExpandButton(const QTreeWidgetItem* node, QPoint pos) const;
    void SetDropHighlight(QTreeWidgetItem* node);

signals:
    void Change();

protected:
    // The buttons, and the dotted lines that join each node to its parent
    // and its siblings.
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    bool event(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    int sizeHintForColumn(int column) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    virtual bool DoShBeginDrag(QTreeWidgetItem* node, QPoint pt, int x, int y);
    virtual bool DoShDragEnter(TShellDragObject* drag, TDragKeys keys, QPoint pt);
    virtual void DoShDragOver(TShellDragObject* drag, QTreeWidgetItem* node, TDragKeys keys, int x,
                              int y);
    virtual bool DoShDragDrop(TShellDragObject* drag, QTreeWidgetItem* node, TDragKeys keys, int x,
                              int y);
    virtual void DoShDragLeave();

private:
    // Changes of the selection made while the tree rebuilds itself are told
    // once, when the outermost step ends: the window's handler lets events
    // run, and none of them may meet the tree half rebuilt.
    struct TTreeUpdate {
        explicit TTreeUpdate(TShellTreeView& tree);
        ~TTreeUpdate();
        TShellTreeView& Tree;
    };
    int UpdateDepth = 0;
    bool ChangePending = false;

    friend class TShellTreeDelegate;
    friend class TShellFolderItem;
    // The delegate, the colours and the column (ShellTreeLook.cpp).
    void InitLook();
    QRect WholeLabelRect(const QTreeWidgetItem* node) const;
    void ScheduleLabelScroll();
    void ScrollToLabel(QTreeWidgetItem* node);
    bool LabelScrollPending = false;
    void Expanding(QTreeWidgetItem* node);
    void DeleteNode(QTreeWidgetItem* node);
    void Edited(QTreeWidgetItem* node, const QString& text);
    void ReadIcons();
    // Inserts a new node for `item` under `parent` at `index` (-1 appends).
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, int index,
                             std::unique_ptr<TShellFolderItem> item);
    // Moves a renamed node to its place among its siblings.
    void SortChildren(QTreeWidgetItem* parent, QTreeWidgetItem* moved);
    // Selects a node unless a button is held on one.
    void SelectNode(QTreeWidgetItem* node);

    bool FIncludeHidden = true;
    TShVirtuaItems FShVirtuaItems = VirtuaItem(itBitBucket) | VirtuaItem(itNetWork);
    bool Closing = false;
    bool Filled = false;
    QTreeWidgetItem* Pressed = nullptr;
    bool PressedWasCurrent = false;
    QTreeWidgetItem* PendingRename = nullptr;
    QString PendingText;
    // A click on the selected node starts renaming it after the
    // double-click time, unless a double click comes first.
    QTimer* RenameDelay = nullptr;
    QTreeWidgetItem* RenameCandidate = nullptr;

    // Starts a drag of the pressed folder once the pointer has gone far enough.
    void StartShellDrag(QMouseEvent* event);
    // One drag-over report; the effect for the drag source.
    Qt::DropAction DragOverAt(QPoint pos, TDragKeys keys, Qt::DropActions offered);
    void ScrollNearEdges(QPoint pos);
    // Hands a drop to the folder's own drop handler; the effect.
    Qt::DropActions DropOn(QTreeWidgetItem* node, QPoint pos, TDragKeys keys,
                           Qt::DropActions offered);
    std::shared_ptr<TShellDropTarget> DropTargetOf(QTreeWidgetItem* node);
    QPersistentModelIndex FDropHighlight;
    // Repeats the last drag-over report while the pointer rests.
    QTimer* DragRepeat = nullptr;
    QPoint LastDragPoint;
    TDragKeys LastDragKeys{};
    Qt::DropActions LastDragActions;
    // The folder watcher, and a pending update of the folders it watches.
    TShDirWatcher* Watcher = nullptr;
    bool WatchUpdatePending = false;
    void ScheduleWatching();
};
