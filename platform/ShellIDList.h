#pragma once

#include <QByteArray>

// ---- Item ID lists --------------------------------------------------------
//
// An ID list names an item of the desktop namespace: a sequence of item IDs,
// each prefixed by its 16-bit byte length (the prefix included), closed by a
// zero length. An absolute list starts at the desktop, whose own list is
// empty (the terminator alone). A null QByteArray stands for "no list".
//
// One ID is the kind of the item (one byte) followed by its name's bytes:
// a folder or file by its name within its parent, a drive by its mount point.
using ItemIDList = QByteArray;

enum TShellIDKind : char {
    sikHome = 'H',
    sikComputer = 'C',
    sikNetwork = 'N',
    sikTrash = 'T',
    sikDrive = 'D',
    sikEntry = 'F' // a file-system folder or file, by its name
};

// The desktop's own (empty) ID list.
ItemIDList DesktopIDList();
// A list of one ID of the given kind and name bytes.
ItemIDList MakeIDList(TShellIDKind kind, const QByteArray& name);

// The offset of the ID after the one at `offset`, or -1 when that is the
// terminator (or the list is broken).
qsizetype NextID(const ItemIDList& list, qsizetype offset);
// The length prefix of the ID at `offset` (0 for the terminator or past the
// end), and whether a list is well formed.
quint16 IDLength(const ItemIDList& list, qsizetype offset);
bool IsWellFormed(const ItemIDList& list);
// Bytes of all IDs plus the 2-byte terminator.
qsizetype IDListSize(const ItemIDList& list);
// Number of IDs; 0 for the desktop's list; -1 for no list or a broken one.
int IDCount(const ItemIDList& list);
ItemIDList CopyIDList(const ItemIDList& list);
ItemIDList CopyFirstID(const ItemIDList& list);
ItemIDList ParentIDList(const ItemIDList& list);
ItemIDList ConcatIDLists(const ItemIDList& first, const ItemIDList& second);
// The kind and name of the ID at `offset`.
TShellIDKind IDKind(const ItemIDList& list, qsizetype offset = 0);
QByteArray IDName(const ItemIDList& list, qsizetype offset = 0);
