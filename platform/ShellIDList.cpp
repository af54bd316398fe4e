#include "platform/ShellIDList.h"

quint16 IDLength(const ItemIDList& list, qsizetype offset) {
    if (offset < 0 || offset + 2 > list.size())
        return 0;
    return quint16(uchar(list.at(offset)) | (uchar(list.at(offset + 1)) << 8));
}

bool IsWellFormed(const ItemIDList& list) {
    if (list.isNull())
        return false;
    qsizetype offset = 0;
    while (true) {
        if (offset + 2 > list.size())
            return false;
        const quint16 length = IDLength(list, offset);
        if (length == 0)
            return offset + 2 == list.size();
        if (length < 3 || offset + length > list.size())
            return false;
        offset += length;
    }
}

// ---- Item ID lists --------------------------------------------------------

ItemIDList DesktopIDList() {
    return ItemIDList(2, '\0');
}

ItemIDList MakeIDList(TShellIDKind kind, const QByteArray& name) {
    const qsizetype length = 3 + name.size();
    if (length > 0xFFFF)
        return ItemIDList();
    ItemIDList list;
    list.reserve(length + 2);
    list.append(char(length & 0xFF)).append(char(length >> 8)).append(char(kind)).append(name);
    list.append(2, '\0');
    return list;
}

qsizetype NextID(const ItemIDList& list, qsizetype offset) {
    const quint16 length = IDLength(list, offset);
    if (length == 0)
        return -1;
    const qsizetype next = offset + length;
    return IDLength(list, next) == 0 ? -1 : next;
}

qsizetype IDListSize(const ItemIDList& list) {
    return IsWellFormed(list) ? list.size() : 0;
}

int IDCount(const ItemIDList& list) {
    if (!IsWellFormed(list))
        return -1;
    int count = 0;
    for (qsizetype offset = 0; IDLength(list, offset) != 0; offset += IDLength(list, offset))
        ++count;
    return count;
}

ItemIDList CopyIDList(const ItemIDList& list) {
    return IsWellFormed(list) ? ItemIDList(list.constData(), list.size()) : ItemIDList();
}

ItemIDList CopyFirstID(const ItemIDList& list) {
    if (!IsWellFormed(list))
        return ItemIDList();
    const quint16 length = IDLength(list, 0);
    ItemIDList first(list.constData(), length);
    first.append(2, '\0');
    return first;
}

ItemIDList ParentIDList(const ItemIDList& list) {
    const int count = IDCount(list);
    if (count <= 0)
        return count == 0 ? DesktopIDList() : ItemIDList();
    qsizetype last = 0;
    for (qsizetype next = NextID(list, 0); next >= 0; next = NextID(list, next))
        last = next;
    ItemIDList parent(list.constData(), last);
    parent.append(2, '\0');
    return parent;
}

ItemIDList ConcatIDLists(const ItemIDList& first, const ItemIDList& second) {
    if (!IsWellFormed(first) || !IsWellFormed(second))
        return ItemIDList();
    return first.left(first.size() - 2) + second;
}

TShellIDKind IDKind(const ItemIDList& list, qsizetype offset) {
    return IDLength(list, offset) >= 3 ? TShellIDKind(list.at(offset + 2)) : TShellIDKind(0);
}

QByteArray IDName(const ItemIDList& list, qsizetype offset) {
    const quint16 length = IDLength(list, offset);
    return length >= 3 ? list.mid(offset + 3, length - 3) : QByteArray();
}
