#include "shelltree/ShellIDFunc.h"

#include <QTreeWidget>
#include <QTreeWidgetItem>

std::shared_ptr<TShellFolder> TShellDataItem::ParentFolder() {
    if (!FParentFolder) {
        if (Level() <= 1)
            FParentFolder = DesktopFolder();
        else
            FParentFolder = DesktopFolder()->BindToObject(ParentAbsoluteID());
    }
    return FParentFolder;
}

QString TShellDataItem::DisplayName() {
    if (FName.isEmpty()) {
        if (const auto folder = ParentFolder())
            FName = folder->GetDisplayNameOf(OwnID());
    }
    return FName;
}

QString TShellDataItem::FolderPath() {
    return IDListToPath(Level() == 0 ? FRelativeID : AbsoluteID());
}

bool TShellDataItem::HasAttribute(unsigned attribute) {
    const auto folder = ParentFolder();
    if (!folder)
        return false;
    return (folder->GetAttributesOf(OwnID(), attribute) & attribute) == attribute;
}

TShItemIDType TShellDataItem::ItemType() {
    const int level = Level();
    if (level < 0)
        return itUnknown;
    if (level == 0)
        return itDeskTop;
    if (level == 1) {
        const auto desktop = DesktopFolder();
        const ItemIDList id = AbsoluteID();
        if (desktop->CompareIDs(id, SpecialFolderID(CSIDL_DRIVES)) == 0)
            return itMyComputer;
        if (desktop->CompareIDs(id, SpecialFolderID(CSIDL_NETWORK)) == 0)
            return itNetWork;
        if (desktop->CompareIDs(id, SpecialFolderID(CSIDL_BITBUCKET)) == 0)
            return itBitBucket;
    }
    if (!HasAttribute(SFGAO_FILESYSTEM))
        return itVirtual;
    if (level == 2 && HasAttribute(SFGAO_FILESYSANCESTOR))
        return itRootDrive;
    return HasAttribute(SFGAO_FOLDER) ? itFolder : itFile;
}

int TShellDataItem::IconIndex() {
    if (FIcon != -1)
        return FIcon;
    if (!ParentFolder())
        return -1;
    // The namespace offers no per-item icon handler: the shared list's index.
    FIcon = SystemIconIndex(AbsoluteID(), false);
    return FIcon;
}

int TShellDataItem::OpenIconIndex() {
    if (FOpenIcon == -1)
        FOpenIcon = SystemIconIndex(AbsoluteID(), true);
    return FOpenIcon;
}

int TShellDataItem::OverlayIndex() {
    const auto folder = ParentFolder();
    const unsigned attributes =
        folder ? folder->GetAttributesOf(OwnID(), SFGAO_SHARE | SFGAO_LINK) : 0u;
    if (attributes & SFGAO_SHARE)
        return 0;
    if (attributes & SFGAO_LINK)
        return 1;
    return -1;
}

TShellFolderItem::TShellFolderItem(ItemIDList relative, ItemIDList absolute,
                                   std::shared_ptr<TShellFolder> parentFolder) {
    FRelativeID = std::move(relative);
    FAbsoluteID = std::move(absolute);
    FParentFolder = std::move(parentFolder);
}

int TShellFolderItem::NodeIndex() const {
    if (!FNode || !FNode->treeWidget())
        return -1;
    // The node's place in the whole tree, counted in order from the root.
    int index = 0;
    for (QTreeWidgetItemIterator it(FNode->treeWidget()); *it; ++it, ++index)
        if (*it == FNode)
            return index;
    return -1;
}

int TShellFolderItem::Level() const {
    if (FLevel == -2 || FLevel < 0)
        FLevel = IDCount(FAbsoluteID);
    return FLevel;
}

ItemIDList TShellFolderItem::ParentAbsoluteID() {
    if (FParentAbsoluteID.isNull())
        FParentAbsoluteID = Level() == 1 ? DesktopIDList() : ParentIDList(FAbsoluteID);
    return FParentAbsoluteID;
}

void TShellFolderItem::AttachNode(QTreeWidgetItem* node) {
    FNode = node;
    if (!node)
        return;
    FSubfolders = -1;
    node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    node->setData(0, OverlayRole, OverlayIndex());
}

bool TShellFolderItem::HasSubfolders() {
    if (FSubfolders < 0)
        SetHasSubfolders(HasAttribute(SFGAO_HASSUBFOLDER));
    return FSubfolders > 0;
}

void TShellFolderItem::SetHasSubfolders(bool has) {
    FSubfolders = has ? 1 : 0;
    if (FNode && !has && FNode->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator)
        FNode->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}
