#pragma once

#include "platform/Exceptions.h"
#include "platform/FileOperation.h"
#include "platform/ShellIDList.h"

#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <sys/types.h>
#include <utility>
#include <vector>

class QMimeData;

// The formats of a drag of shell items: the file URLs every file manager
// reads, and the absolute ID lists of the items.
extern const char* const kUriListType;     // "text/uri-list"
extern const char* const kShellIDListType; // "application/x-velmo-shell-idlist"

// The data of a drag of one tree folder; null when the item has no path.
QMimeData* MakeShellDragData(const QString& path, const ItemIDList& absolute);
// Whether a drag offers shell items or files.
bool OffersShellData(const QMimeData* data);

// An ID list array: the absolute ID lists one after the other, each closed by
// its terminator. A broken array gives no list.
QByteArray IDListArray(const QList<ItemIDList>& lists);
QList<ItemIDList> ParseIDListArray(const QByteArray& data);
// A URI list of local paths, the bytes of each name percent-encoded; and
// back. A line that is no local file URL makes `allLocal` false.
QByteArray UriList(const QStringList& paths);
QStringList ParseUriList(const QByteArray& data, bool* allLocal);

// The key state of a drag report: keyboard modifiers and mouse buttons.
struct TDragKeys {
    Qt::KeyboardModifiers Modifiers;
    Qt::MouseButtons Buttons;
};

// The effect a folder's drop handler picks, as a desktop does: Ctrl+Shift
// links, Ctrl copies, Shift moves; without a key, move on one filesystem and
// copy across. An effect the drag does not allow gives none; without a key
// the other of copy and move stands in.
Qt::DropAction ChooseDropEffect(Qt::DropActions allowed, Qt::KeyboardModifiers modifiers,
                                bool sameFilesystem);

// Raised when an object is made without what it needs.
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

// One dragged item as the drop handlers see it.
struct TDragSource {
    QString Path;
    QByteArray Real;       // the resolved path's bytes, to tell a folder from its own subfolders
    QByteArray ParentReal; // and its folder's
    dev_t Device = 0;
    ino_t Inode = 0;
    // Its folder's identity: another mount of a folder has another path.
    std::pair<dev_t, ino_t> Parent{0, 0};
    bool Exists = false;
    bool IsDir = false;
    bool Movable = false; // its folder can be written: a move can take it away
};

// Looks at dragged items; the folders they come from are asked once for all
// their items.
std::vector<TDragSource> DragSources(const QStringList& paths);

// The data object of one drag over the tree, with the paths and ID lists it
// names, for the drop handlers and the tree's events.
class TShellDragObject {
public:
    explicit TShellDragObject(const QMimeData* data);

    const QMimeData* DataObject() const { return Data; }
    QStringList TextList;     // the dragged items' paths
    QList<ItemIDList> IDList; // their absolute ID lists, when the drag offers them
    // Every item has a local path.
    bool HasItems() const { return Complete && !TextList.isEmpty(); }
    // The first items, looked at when the drag enters: the answers while it
    // moves rest on them, so that a drag of many thousand files is answered
    // at once. Every item is looked at once it is dropped.
    const std::vector<TDragSource>& FirstSources() const { return FFirst; }

private:
    const QMimeData* Data;
    std::vector<TDragSource> FFirst;
    bool Complete = true;
};

// A folder's drop handler: decides the effect of a drag over the folder and,
// on the drop, moves, copies or links the dragged items into it through the
// file service (or moves them into the trash). The work runs once the drop
// has returned to the drag source; the handler lives until it is done. As
// the handler does the work itself, the source is told at most a copy: a
// source that removes its items after a move would lose them if the work
// then failed.
class TShellDropTarget : public std::enable_shared_from_this<TShellDropTarget> {
public:
    // The menu of a drag made with the right button: the effects allowed and
    // the default; answers the chosen effect or none.
    using TDropMenu =
        std::function<Qt::DropAction(Qt::DropActions allowed, Qt::DropAction preferred)>;
    // Called on the window's thread when the work is done.
    using TDone = std::function<void()>;

    // `folder` is the target's path; `trash` makes it the trash.
    TShellDropTarget(QWidget* owner, QString folder, bool trash, TDropMenu menu = {},
                     TDone done = {});

    // `effect` comes in as the effects the drag allows and goes out as the
    // one chosen. False when the handler cannot work with the drag.
    bool DragEnter(const TShellDragObject& drag, TDragKeys keys, QPoint point,
                   Qt::DropActions& effect);
    bool DragOver(TDragKeys keys, QPoint point, Qt::DropActions& effect);
    void DragLeave();
    bool Drop(const TShellDragObject& drag, TDragKeys keys, QPoint point, Qt::DropActions& effect);

    // The menu shown for a right-button drop.
    static Qt::DropAction ShowDropMenu(Qt::DropActions allowed, Qt::DropAction preferred);

private:
    // What a drag may do here before the keys are looked at.
    Qt::DropActions Allowed(Qt::DropActions offered) const;
    Qt::DropAction Decide(Qt::DropActions offered, Qt::KeyboardModifiers modifiers) const;
    void Perform(Qt::DropActions offered, Qt::KeyboardModifiers modifiers, bool ask,
                 const QStringList& paths);

    QPointer<QWidget> Owner;
    QString Folder;
    QByteArray FolderReal;
    dev_t FolderDevice = 0;
    // The folder and the folders above it, by identity, first the folder.
    std::vector<std::pair<dev_t, ino_t>> FolderChain;
    bool FolderExists = false;
    bool Trash;
    TDropMenu Menu;
    TDone Done;
    std::vector<TDragSource> Sources;
    bool RightDrag = false;
};
