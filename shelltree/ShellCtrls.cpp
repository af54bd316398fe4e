#include "shelltree/ShellCtrls.h"

#include "platform/Common.h"
#include "shelltree/ShellWatcher.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>

namespace {
// The private notice that re-reads the icons.
const QEvent::Type ReadIconsEvent = QEvent::Type(QEvent::User + 1);

bool IsInSubtree(const QTreeWidgetItem* node, const QTreeWidgetItem* root) {
    for (; node; node = node->parent())
        if (node == root)
            return true;
    return false;
}

// A single-ID list of the ID at `offset`.
ItemIDList IDAt(const ItemIDList& list, qsizetype offset) {
    return CopyFirstID(list.mid(offset));
}
} // namespace

// ---- Nodes ----------------------------------------------------------------

TShellTreeNode::TShellTreeNode(std::unique_ptr<TShellFolderItem> item) : Item(std::move(item)) {
    setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable);
}

QVariant TShellTreeNode::data(int column, int role) const {
    if (role == Qt::DecorationRole && column == 0 && Item && Item->IsValid()) {
        const int index = isSelected() ? Item->OpenIconIndex() : Item->IconIndex();
        return SystemIcon(index);
    }
    return QTreeWidgetItem::data(column, role);
}

// ---- The tree -------------------------------------------------------------

TShellTreeView::TShellTreeView(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    setHeaderHidden(true);
    setIndentation(19);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setAcceptDrops(true);
    InitLook();

    RenameDelay = new QTimer(this);
    RenameDelay->setSingleShot(true);
    connect(RenameDelay, &QTimer::timeout, this, [this] {
        if (RenameCandidate && RenameCandidate == currentItem())
            editItem(RenameCandidate, 0);
        RenameCandidate = nullptr;
    });

    // The fixed disks: local block devices that are neither removable nor
    // optical, read once.
    for (const TMountEntry& drive : DriveMounts(ReadMountTable()))
        if (MediumKind(drive.FsType) == mkLocal && !drive.MountPoint.startsWith("/media/") &&
            !drive.MountPoint.startsWith("/run/media/"))
            FixedDrives << drive.MountPoint;
    FixedDrives.sort();

    connect(this, &QTreeWidget::itemExpanded, this, &TShellTreeView::Expanding);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem* previous) {
                if (Closing || current == previous)
                    return;
                if (UpdateDepth > 0)
                    ChangePending = true;
                else
                    emit Change();
            });

    // The watcher runs from now on; it watches once the tree has folders.
    Watcher = new TShDirWatcher(
        nullptr, FILE_NOTIFY_CHANGE_DIR_NAME,
        [this](TShDirWatcher*, TDeviceChangeData* notice) {
            OnDeviceChange(notice);
            ScheduleWatching();
        },
        [this](TShDirWatcher*) {
            OnDirChange();
            ScheduleWatching();
        });
    Watcher->OnTerminate = [this] { Watcher = nullptr; };
    TShellCtrlList::Instance().Register(this);
    connect(this, &QTreeWidget::itemExpanded, this, &TShellTreeView::ScheduleWatching);
    connect(this, &QTreeWidget::itemCollapsed, this, &TShellTreeView::ScheduleWatching);
}

TShellTreeView::~TShellTreeView() {
    Closing = true;
    TShellCtrlList::Instance().Unregister(this);
    if (Watcher) {
        Watcher->OnTerminate = nullptr;
        std::exchange(Watcher, nullptr)->StopWatching();
    }
    blockSignals(true);
    clear();
}

TShellTreeView::TTreeUpdate::TTreeUpdate(TShellTreeView& tree) : Tree(tree) {
    ++Tree.UpdateDepth;
}

TShellTreeView::TTreeUpdate::~TTreeUpdate() {
    if (--Tree.UpdateDepth == 0 && Tree.ChangePending && !Tree.Closing) {
        Tree.ChangePending = false;
        emit Tree.Change();
    }
}

void TShellTreeView::Loaded() {
    FillRoot();
    RefreshAll();
    ResumeWatching();
}

bool TShellTreeView::IsValidNode(const QTreeWidgetItem* node) {
    const TShellFolderItem* item = ItemOf(node);
    return item && item->IsValid();
}

TShellFolderItem* TShellTreeView::ItemOf(const QTreeWidgetItem* node) {
    const auto* shellNode = dynamic_cast<const TShellTreeNode*>(node);
    return shellNode ? shellNode->Data() : nullptr;
}

void TShellTreeView::SelectNode(QTreeWidgetItem* node) {
    if (MouseMode == 1 || MouseMode == 2 || Closing || !node)
        return;
    setCurrentItem(node);
    scrollTo(indexFromItem(node)); // the row and its label
}

QTreeWidgetItem* TShellTreeView::AddNode(QTreeWidgetItem* parent, int index,
                                         std::unique_ptr<TShellFolderItem> item) {
    TShellFolderItem* data = item.get();
    auto* node = new TShellTreeNode(std::move(item));
    node->setText(0, data->DisplayName());
    data->AttachNode(node);
    if (!parent)
        addTopLevelItem(node);
    else if (index < 0)
        parent->addChild(node);
    else
        parent->insertChild(index, node);
    return node;
}

void TShellTreeView::DeleteNode(QTreeWidgetItem* node) {
    // The folder on show goes away: its parent is shown, never a neighbour.
    if (IsInSubtree(currentItem(), node)) {
        if (node->parent())
            setCurrentItem(node->parent());
    }
    if (IsInSubtree(Pressed, node))
        Pressed = nullptr;
    if (IsInSubtree(RenameCandidate, node))
        RenameCandidate = nullptr;
    if (IsInSubtree(PendingRename, node))
        PendingRename = nullptr;
    delete node; // frees its item
}

void TShellTreeView::FillRoot() {
    const TTreeUpdate update(*this);
    const ItemIDList desktop = SpecialFolderID(CSIDL_DESKTOP);
    const ItemIDList directory = SpecialFolderID(CSIDL_DESKTOPDIRECTORY);
    if (desktop.isNull() || directory.isNull())
        return;
    setUpdatesEnabled(false);
    QTreeWidgetItem* root =
        AddNode(nullptr, -1, std::make_unique<TShellFolderItem>(directory, desktop));
    root->setExpanded(true);
    if (root->childCount() > 0)
        root->child(0)->setExpanded(true);
    SelectNode(root);
    setUpdatesEnabled(true);
}

int TShellTreeView::EnumChildren(const std::shared_ptr<TShellFolder>& folder,
                                 TShellFolderItem* parent,
                                 std::vector<std::unique_ptr<TShellFolderItem>>& list) {
    list.clear();
    const unsigned flags =
        SHCONTF_FOLDERS | (FIncludeHidden ? unsigned(SHCONTF_INCLUDEHIDDEN) : 0u);
    QList<ItemIDList> ids;
    if (!folder->EnumObjects(flags, ids))
        return 0;
    const int level = parent->Level();
    const ItemIDList parentAbsolute = parent->AbsoluteID();
    const TShItemIDType parentType = level == 1 ? parent->ItemType() : itUnknown;
    list.reserve(size_t(ids.size()));
    for (const ItemIDList& id : ids) {
        ItemIDList absolute = level != 0 ? ConcatIDLists(parentAbsolute, id) : CopyIDList(id);
        auto item = std::make_unique<TShellFolderItem>(id, std::move(absolute), folder);
        bool keep = true;
        if (level == 0) {
            const TShItemIDType type = item->ItemType();
            if (type == itBitBucket || type == itNetWork)
                keep = FShVirtuaItems & VirtuaItem(type);
            else if (type == itVirtual)
                keep = false;
        } else if (level == 1) {
            if (parentType == itMyComputer && !(FShVirtuaItems & VirtuaItem(itVirtual)))
                keep = item->ItemType() != itVirtual;
            else if (parentType == itNetWork && !(FShVirtuaItems & VirtuaItem(itNetWork)))
                keep = false;
        }
        if (keep)
            list.push_back(std::move(item));
    }
    auto before = [&](const auto& a, const auto& b) {
        return folder->CompareIDs(a->RelativeID(), b->RelativeID()) == 2;
    };
    // The namespace lists in its own order already; sort only if not.
    if (!std::is_sorted(list.begin(), list.end(), before))
        std::stable_sort(list.begin(), list.end(), before);
    return int(list.size());
}

void TShellTreeView::RefreshChildren(QTreeWidgetItem* node, const QTreeWidgetItem* watched,
                                     bool* watchedDeleted) {
    const TTreeUpdate update(*this);
    TShellFolderItem* item = ItemOf(node);
    if (!IsValidNode(node))
        return;
    const auto parentFolder = item->ParentFolder();
    if (!parentFolder)
        return;
    const auto folder =
        item->Level() == 0 ? DesktopFolder() : parentFolder->BindToObject(item->RelativeID());
    if (!folder)
        return;
    std::vector<std::unique_ptr<TShellFolderItem>> list;
    const int count = EnumChildren(folder, item, list);
    auto deleteChild = [&](QTreeWidgetItem* child) {
        if (child == watched && watchedDeleted)
            *watchedDeleted = true;
        DeleteNode(child);
    };
    int existing = 0;
    int i = 0;
    while (i < count) {
        if (existing >= node->childCount()) {
            // The rest is appended at once, so the view lays out once.
            QList<QTreeWidgetItem*> nodes;
            nodes.reserve(count - i);
            for (; i < count; ++i) {
                TShellFolderItem* data = list[size_t(i)].get();
                auto* child = new TShellTreeNode(std::move(list[size_t(i)]));
                child->setText(0, data->DisplayName());
                data->AttachNode(child);
                nodes.append(child);
            }
            node->addChildren(nodes);
            existing = node->childCount();
            break;
        }
        QTreeWidgetItem* child = node->child(existing);
        if (!IsValidNode(child)) {
            deleteChild(child);
            continue;
        }
        switch (folder->CompareIDs(ItemOf(child)->RelativeID(), list[size_t(i)]->RelativeID())) {
        case 0: // the same item: the node stays as it is
            ++existing;
            ++i;
            break;
        case 1: // a new item before the existing one
            AddNode(node, existing, std::move(list[size_t(i)]));
            ++existing;
            ++i;
            break;
        default: // gone, or not comparable
            deleteChild(child);
            break;
        }
    }
    while (node->childCount() > existing)
        deleteChild(node->child(node->childCount() - 1));
}

void TShellTreeView::Expanding(QTreeWidgetItem* node) {
    const TTreeUpdate update(*this);
    if (Closing || !IsValidNode(node))
        return;
    TShellFolderItem* item = ItemOf(node);
    if (MouseMode == 3 && item->Level() >= 2) {
        const TShItemIDType type = item->ItemType();
        if ((type == itRootDrive && !IsDriveReady(item->FolderPath())) || type == itVirtual) {
            node->setExpanded(false);
            return;
        }
    }
    RefreshChildren(node);
    item->SetHasSubfolders(node->childCount() > 0);
    if (node->childCount() == 0) {
        node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
        node->setExpanded(false);
    }
}

void TShellTreeView::RefreshAll() {
    const TTreeUpdate update(*this);
    std::function<void(QTreeWidgetItem*)> visit = [&](QTreeWidgetItem* node) {
        if (node->isExpanded() || node->childCount() > 0)
            RefreshChildren(node);
        else if (TShellFolderItem* item = ItemOf(node))
            item->AttachNode(node);
        if (node->isExpanded())
            for (int i = 0; i < node->childCount(); ++i)
                visit(node->child(i));
    };
    for (int i = 0; i < topLevelItemCount(); ++i)
        visit(topLevelItem(i));
}

QTreeWidgetItem* TShellTreeView::FindNode(const ItemIDList& list) {
    const TTreeUpdate update(*this);
    QTreeWidgetItem* result = topLevelItem(0);
    if (!result || IDCount(list) < 0)
        return result;
    QTreeWidgetItem* cur = result->child(0);
    int curIndex = 0;
    qsizetype rest = IDCount(list) > 0 ? 0 : -1;
    bool backedUp = false;
    while (IsValidNode(cur)) {
        if (rest < 0)
            break;
        const ItemIDList id = IDAt(list, rest);
        TShellFolderItem* item = ItemOf(cur);
        const auto folder = item->ParentFolder();
        QTreeWidgetItem* parent = cur->parent();
        const int order = folder ? folder->CompareIDs(item->RelativeID(), id) : 3;
        if (order == 0) {
            rest = NextID(list, rest);
            if (rest < 0) {
                result = cur;
                break;
            }
            cur->setExpanded(true);
            if (cur->childCount() == 0)
                RefreshChildren(cur);
            cur = cur->child(0);
            curIndex = 0;
            backedUp = false;
        } else if (order == 2) {
            if (backedUp)
                break; // between two neighbours: not among the children
            if (curIndex + 1 >= parent->childCount()) {
                bool deleted = false;
                RefreshChildren(parent, cur, &deleted);
                if (deleted)
                    break;
                curIndex = parent->indexOfChild(cur);
            }
            cur = parent->child(++curIndex);
        } else if (order == 1) {
            if (!backedUp) {
                bool deleted = false;
                RefreshChildren(parent, cur, &deleted);
                if (deleted)
                    break;
                curIndex = parent->indexOfChild(cur);
            }
            backedUp = true;
            cur = curIndex > 0 ? parent->child(--curIndex) : nullptr;
        } else {
            break;
        }
    }
    return result;
}

void TShellTreeView::SelectIDList(const ItemIDList& list) {
    const TTreeUpdate update(*this);
    if (list.isNull())
        return;
    QTreeWidgetItem* selected = currentItem();
    if (IsValidNode(selected)) {
        TShellFolderItem* item = ItemOf(selected);
        if (item->Level() != IDCount(list) ||
            DesktopFolder()->CompareIDs(item->AbsoluteID(), list) != 0)
            SelectNode(FindNode(list));
    } else {
        SelectNode(FindNode(list));
    }
}

ItemIDList TShellTreeView::SelectedIDList() const {
    if (IsValidNode(currentItem()))
        return ItemOf(currentItem())->AbsoluteID();
    if (IsValidNode(topLevelItem(0)))
        return ItemOf(topLevelItem(0))->AbsoluteID();
    return ItemIDList();
}

QString TShellTreeView::SelectedPath() const {
    QTreeWidgetItem* node = currentItem();
    return IsValidNode(node) ? ItemOf(node)->FolderPath() : QString();
}

bool TShellTreeView::SelectPath(const QString& path) {
    const ItemIDList list = PathToIDList(path);
    if (list.isNull())
        return false;
    SelectIDList(list);
    return true;
}

void TShellTreeView::Repaint() {
    viewport()->update();
}

void TShellTreeView::SetIncludeHidden(bool include) {
    if (include == FIncludeHidden)
        return;
    FIncludeHidden = include;
    RefreshAll();
}

void TShellTreeView::SetShVirtuaItems(TShVirtuaItems items) {
    if (items == FShVirtuaItems)
        return;
    FShVirtuaItems = items;
    RefreshAll();
}

// ---- Settings and the watcher ---------------------------------------------

bool TShellTreeView::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::ThemeChange:
    case QEvent::StyleChange:
        QCoreApplication::postEvent(this, new QEvent(ReadIconsEvent));
        break;
    default:
        if (event->type() == ReadIconsEvent) {
            ReadIcons();
            return true;
        }
        break;
    }
    return QTreeWidget::event(event);
}

void TShellTreeView::ReadIcons() {
    ReloadSystemIcons();
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        if (!IsValidNode(*it))
            break;
        ItemOf(*it)->ResetIcons();
    }
    viewport()->update();
}

void TShellTreeView::PauseWatching() {
    if (Watcher)
        Watcher->SetDirectories(nullptr);
}

// The watcher is given the folders whose listing the tree shows (the ones a
// refresh reads again) that lie on fixed disks.
void TShellTreeView::ResumeWatching() {
    if (!Watcher)
        return;
    const QList<TMountEntry> table = ReadMountTable();
    QStringList folders;
    std::function<void(QTreeWidgetItem*)> visit = [&](QTreeWidgetItem* node) {
        if (!IsValidNode(node))
            return;
        if (node->isExpanded() || node->childCount() > 0) {
            const QString path = ItemOf(node)->FolderPath();
            if (!path.isEmpty() && FixedDrives.contains(DrivePart(path, table)))
                folders << path;
        }
        if (node->isExpanded())
            for (int i = 0; i < node->childCount(); ++i)
                visit(node->child(i));
    };
    for (int i = 0; i < topLevelItemCount(); ++i)
        visit(topLevelItem(i));
    Watcher->SetDirectories(&folders);
}

// Expanding and collapsing change the folders a refresh reads: the watcher
// follows once the step is over.
void TShellTreeView::ScheduleWatching() {
    if (WatchUpdatePending || !Watcher)
        return;
    WatchUpdatePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            WatchUpdatePending = false;
            if (!Closing)
                ResumeWatching();
        },
        Qt::QueuedConnection);
}

void TShellTreeView::OnDirChange() {
    ReleaseDropTargets();
    if (MouseMode != 0)
        return;
    RefreshAll();
}

void TShellTreeView::OnDeviceChange(TDeviceChangeData* data) {
    const TTreeUpdate update(*this);
    const std::unique_ptr<TDeviceChangeData> notice(data);
    if (!notice)
        return;
    // A drive that leaves takes the selection with it only from a folder on
    // it; any other folder stays open.
    const auto slashed = [](const QString& path) {
        return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    };
    const QString drive = IDListToPath(notice->DriveID);
    const QString selected = SelectedPath();
    const bool selectedOnDrive =
        !drive.isEmpty() && !selected.isEmpty() && slashed(selected).startsWith(slashed(drive));
    if (notice->Kind == 1) {
        QTreeWidgetItem* node = FindNode(notice->DriveID);
        if (node == topLevelItem(0) || !IsValidNode(node))
            return;
        TShellFolderItem* item = ItemOf(node);
        item->ResetIcons();
        item->SetName(notice->Caption);
        node->setText(0, notice->Caption);
        if (notice->Event == 0x8004) {
            while (node->childCount() > 0)
                DeleteNode(node->child(node->childCount() - 1));
            node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
            if (selectedOnDrive)
                SelectNode(node->parent());
            // A medium that left takes its mount point with it: the drive
            // leaves the computer.
            RefreshChildren(node->parent());
        }
    } else if (notice->Kind == 2) {
        if (notice->Event == 0x8004 && selectedOnDrive)
            SelectNode(topLevelItem(0));
        RefreshAll();
    }
}
