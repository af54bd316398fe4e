#pragma once

#include "platform/ShellIcons.h"
#include "platform/ShellNamespace.h"

#include <QString>
#include <memory>

class QTreeWidgetItem;

// What an item of the folder tree is.
enum TShItemIDType {
    itDeskTop,
    itMyComputer,
    itRootDrive,
    itFolder,
    itFile,
    itInterNet,
    itBitBucket,
    itNetWork,
    itVirtual,
    itUnknown
};

// A set of the non-file-system items (itBitBucket..itVirtual), bit n for
// ordinal n.
using TShVirtuaItems = quint16;
constexpr TShVirtuaItems VirtuaItem(TShItemIDType type) {
    return TShVirtuaItems(1u << type);
}

// The namespace item behind a tree node. Each fact is asked once and kept.
class TShellDataItem {
public:
    virtual ~TShellDataItem() = default;

    virtual int IconIndex();
    virtual int NodeIndex() const = 0;
    virtual int Level() const = 0;
    virtual ItemIDList ParentAbsoluteID() = 0;
    virtual ItemIDList AbsoluteID() const = 0;
    virtual int OpenIconIndex();
    virtual bool IsValid() const = 0;

    const ItemIDList& RelativeID() const { return FRelativeID; }

    // The folder holding the item (the desktop for levels 0 and 1); null
    // when it cannot be bound. Kept once bound.
    std::shared_ptr<TShellFolder> ParentFolder();
    // The caption; kept once asked.
    QString DisplayName();
    // The file-system path; empty for items without one.
    QString FolderPath();
    // Whether every bit of `attribute` applies.
    bool HasAttribute(unsigned attribute);
    TShItemIDType ItemType();
    // 0 shared, 1 link, -1 none; asked every time.
    int OverlayIndex();

    // Forget the icons (the icon theme changed) or the caption.
    void ResetIcons() { FOpenIcon = FIcon = -1; }
    void SetName(const QString& name) { FName = name; }

protected:
    // The ID list the parent folder is asked about (the absolute one for
    // the root).
    ItemIDList OwnID() const { return Level() == 0 ? AbsoluteID() : FRelativeID; }

    std::shared_ptr<TShellFolder> FParentFolder;
    ItemIDList FRelativeID;
    ItemIDList FAbsoluteID;
    ItemIDList FParentAbsoluteID;
    int FOpenIcon = -1;
    int FIcon = -1;
    QString FName;
};

// The item of one tree node.
class TShellFolderItem : public TShellDataItem {
public:
    TShellFolderItem(ItemIDList relative, ItemIDList absolute,
                     std::shared_ptr<TShellFolder> parentFolder = nullptr);

    int NodeIndex() const override;
    int Level() const override;
    ItemIDList ParentAbsoluteID() override;
    ItemIDList AbsoluteID() const override { return FAbsoluteID; }
    bool IsValid() const override { return !FAbsoluteID.isNull() && !FRelativeID.isNull(); }

    QTreeWidgetItem* Node() const { return FNode; }
    // Binds the item to its node: its overlay, and the expand button until
    // the folder is looked into.
    void AttachNode(QTreeWidgetItem* node);
    // Whether the folder has subfolders, looked at once (when the node is
    // first drawn) and kept; the node's expand button follows.
    bool HasSubfolders();
    // What an expansion found.
    void SetHasSubfolders(bool has);
    // Renames the folder in place (the tree's rename); see ShellCtrls.cpp.
    void RenameItem(const QString& name);

private:
    QTreeWidgetItem* FNode = nullptr;
    mutable int FLevel = -2;
    int FSubfolders = -1; // -1 not looked at yet
};

// The role of a node's overlay index.
constexpr int OverlayRole = 0x0101; // Qt::UserRole + 1
