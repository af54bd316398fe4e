#pragma once

#include "platform/Common.h"
#include "platform/ShellIDList.h"

#include <QByteArray>
#include <QCollatorSortKey>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <memory>
#include <vector>

class QWidget;

// ---- Attributes -----------------------------------------------------------
enum : unsigned {
    SFGAO_CANCOPY = 0x1,
    SFGAO_CANMOVE = 0x2,
    SFGAO_CANLINK = 0x4,
    SFGAO_CANRENAME = 0x10,
    SFGAO_CANDELETE = 0x20,
    SFGAO_HASPROPSHEET = 0x40,
    SFGAO_DROPTARGET = 0x100,
    SFGAO_CAPABILITYMASK = 0x177,
    SFGAO_LINK = 0x10000,
    SFGAO_SHARE = 0x20000,
    SFGAO_FILESYSANCESTOR = 0x10000000,
    SFGAO_FOLDER = 0x20000000,
    SFGAO_FILESYSTEM = 0x40000000,
    SFGAO_HASSUBFOLDER = 0x80000000
};

// Listing flags.
enum : unsigned { SHCONTF_FOLDERS = 0x20, SHCONTF_INCLUDEHIDDEN = 0x80 };

// Special folders.
enum : int {
    CSIDL_DESKTOP = 0x00,
    CSIDL_BITBUCKET = 0x0A,
    CSIDL_DESKTOPDIRECTORY = 0x10,
    CSIDL_DRIVES = 0x11,
    CSIDL_NETWORK = 0x12
};

// ---- Folders --------------------------------------------------------------

// One folder of the namespace: the desktop, the home folder, the computer,
// the network, the trash, a drive or a file-system folder. Asked about its
// children by their single IDs.
class TShellFolder {
public:
    // The folder's absolute ID list and its file-system path (empty for the
    // desktop's virtual children).
    TShellFolder(ItemIDList absolute, QString path);

    const ItemIDList& AbsoluteID() const { return Absolute; }
    const QString& Path() const { return FolderPath; }

    // The folder of the item named by `relative` (one or more IDs below this
    // folder), or null when it is no folder.
    std::shared_ptr<TShellFolder> BindToObject(const ItemIDList& relative) const;
    // The IDs of the children (SHCONTF_ flags); false when the folder cannot
    // be read. Never hangs on a dead network mount: its medium is checked
    // with the drive check's time-out first.
    bool EnumObjects(unsigned flags, QList<ItemIDList>& ids);
    // 0 equal, 1 a sorts after b, 2 a sorts before b, 3 failed. Lists of
    // several IDs compare level by level.
    int CompareIDs(const ItemIDList& a, const ItemIDList& b);
    // The attributes in `mask` that apply to the child.
    unsigned GetAttributesOf(const ItemIDList& id, unsigned mask);
    // The child's caption.
    QString GetDisplayNameOf(const ItemIDList& id);
    // Renames a child; the new ID, or a null list after telling the user why.
    ItemIDList SetNameOf(QWidget* owner, const ItemIDList& id, const QString& name);

private:
    QString ChildPath(const ItemIDList& id) const;
    int SortKey(const QByteArray& name);

    ItemIDList Absolute;
    QString FolderPath;
    // What the last listing learned: whether each name is a symbolic link;
    // and each name's collation key, made once (one more than its index in SortKeys).
    QHash<QByteArray, bool> Links;
    // Whether the folder lies on a network or optical medium, and the listed
    // names on which such a medium is mounted.
    bool Remote = false;
    QSet<QByteArray> RemoteChildren;
    QHash<QByteArray, int> Keys;
    std::vector<QCollatorSortKey> SortKeys;
};

// The desktop folder, made once for the process.
std::shared_ptr<TShellFolder> DesktopFolder();
// The absolute ID list of a special folder; null when there is none.
ItemIDList SpecialFolderID(int csidl);
// The absolute ID list of an existing path; null for an empty path, one that
// does not exist, or one on a medium that does not answer.
ItemIDList PathToIDList(const QString& path);
// The file-system path of an absolute ID list; empty when it has none. A
// drive's path ends in "/".
QString IDListToPath(const ItemIDList& list);

// The desktop folder's path (the XDG desktop folder, else the home folder)
// and the home folder's.
QString DesktopDirectory();
QString HomeDirectory();

// The drives the computer shows, from the mount table: the root filesystem,
// the block-device and network filesystems and whatever is mounted where the
// desktop mounts removable media, each mount point once.
QList<TMountEntry> DriveMounts(const QList<TMountEntry>& table);
// The volume label of a block device; empty when it has none.
QString DeviceLabel(const QString& device);
