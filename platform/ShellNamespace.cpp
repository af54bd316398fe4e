#include "platform/ShellNamespace.h"

#include "platform/FileName.h"
#include "platform/FileNameRules.h"
#include "platform/FileOperation.h"
#include "platform/MountListener.h"

#include <QCollator>
#include <QDir>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QString JoinChild(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// Siblings' order: the special items first, in the desktop's order, then
// drives, then folders by name.
int KindRank(TShellIDKind kind) {
    switch (kind) {
    case sikHome:
        return 0;
    case sikComputer:
        return 1;
    case sikNetwork:
        return 2;
    case sikTrash:
        return 3;
    case sikDrive:
        return 4;
    default:
        return 5;
    }
}

QCollator& NameCollator() {
    static QCollator collator = [] {
        // The C locale's collator ignores numbers: take Japanese there.
        const QLocale locale = QLocale().language() == QLocale::C
                                   ? QLocale(QLocale::Japanese, QLocale::Japan)
                                   : QLocale();
        QCollator c(locale);
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

bool IsUnderFolder(const QString& path, const QString& folder) {
    if (folder == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == folder ||
           (path.startsWith(folder) && path.at(folder.size()) == QLatin1Char('/'));
}

bool IsDirectory(const QString& path) {
    struct stat st;
    return ::stat(PathToBytes(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether a folder holds a subfolder as its listing shows them, links to
// folders included. A link count above 2 means a real subfolder; any other
// count cannot tell links apart, so the folder is read up to its first
// subfolder or link to one.
bool HasSubfolder(int parent, const char* name, const struct stat& st) {
    if (st.st_nlink > 2)
        return true;
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir && fd >= 0)
        ::close(fd);
    if (!dir)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        if (IsDotOrDotDot(entry->d_name))
            continue;
        if (entry->d_type == DT_DIR) {
            found = true;
        } else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat child;
            found =
                ::fstatat(::dirfd(dir), entry->d_name, &child, 0) == 0 && S_ISDIR(child.st_mode);
        }
        if (found)
            break;
    }
    ::closedir(dir);
    return found;
}

// A network or optical medium that does not answer within the drive check's
// time-out is not read.
bool MediumAnswers(const QString& path, const QList<TMountEntry>& table) {
    const int index = FindMount(table, path);
    if (index < 0 || MediumKind(table[index].FsType) == mkLocal)
        return true;
    return IsDriveReady(path);
}

bool MediumAnswers(const QString& path) {
    return MediumAnswers(path, ReadMountTable());
}

// The volume label of a device, from udev's by-label links.
QString VolumeLabel(const QString& device) {
    if (!device.startsWith(QLatin1String("/dev/")))
        return QString();
    const QByteArray folder("/dev/disk/by-label");
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return QString();
    QString label;
    char* target = ::realpath(PathToBytes(device).constData(), nullptr);
    while (target && label.isEmpty()) {
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        if (IsDotOrDotDot(entry->d_name))
            continue;
        char* resolved = ::realpath((folder + '/' + entry->d_name).constData(), nullptr);
        if (resolved && std::strcmp(resolved, target) == 0) {
            // udev writes blanks and other bytes as \xNN.
            QByteArray name(entry->d_name);
            QByteArray decoded;
            for (qsizetype i = 0; i < name.size(); ++i) {
                if (name.at(i) == '\\' && i + 3 < name.size() && name.at(i + 1) == 'x') {
                    bool ok = false;
                    const int byte = name.mid(i + 2, 2).toInt(&ok, 16);
                    if (ok) {
                        decoded.append(char(byte));
                        i += 3;
                        continue;
                    }
                }
                decoded.append(name.at(i));
            }
            label = DisplayPath(PathFromBytes(decoded));
        }
        ::free(resolved);
    }
    ::free(target);
    ::closedir(dir);
    return label;
}

QString DriveCaption(const QString& mountPoint) {
    const QList<TMountEntry> table = ReadMountTable();
    const int index = FindMount(table, mountPoint);
    QString label;
    if (index >= 0) {
        const TMountEntry& mount = table[index];
        label = VolumeLabel(mount.Source);
        if (label.isEmpty()) {
            switch (MediumKind(mount.FsType)) {
            case mkNetwork:
                label = DisplayPath(mount.Source);
                break;
            case mkOptical:
                label = QStringLiteral("CD ドライブ");
                break;
            default:
                label = QStringLiteral("ローカル ディスク");
                break;
            }
        }
    }
    return label + QStringLiteral(" (") + DisplayPath(mountPoint) + QLatin1Char(')');
}
} // namespace

// ---- Paths ----------------------------------------------------------------

QString HomeDirectory() {
    const QByteArray home = qgetenv("HOME");
    return home.isEmpty() ? QDir::homePath() : QDir::cleanPath(PathFromBytes(home));
}

QString DesktopDirectory() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && desktop != QDir::homePath() && IsDirectory(desktop))
        return QDir::cleanPath(desktop);
    return HomeDirectory();
}

QList<TMountEntry> DriveMounts(const QList<TMountEntry>& table) {
    QList<TMountEntry> drives;
    bool root = false;
    for (const TMountEntry& mount : table) {
        const bool network = MediumKind(mount.FsType) == mkNetwork;
        const bool isRoot = mount.MountPoint == QLatin1String("/");
        const bool block = mount.Source.startsWith(QLatin1String("/dev/")) &&
                           mount.FsType != QLatin1String("squashfs");
        const bool media = IsMediaMountPoint(mount.MountPoint);
        // A local mount of a single file (a container's bind mounts) is no drive.
        if (!isRoot && !network && (!(block || media) || !IsDirectory(mount.MountPoint)))
            continue;
        root = root || isRoot;
        drives.removeIf([&](const TMountEntry& e) { return e.MountPoint == mount.MountPoint; });
        drives.append(mount);
    }
    if (!root)
        drives.prepend(TMountEntry{QStringLiteral("/"), QString(), QString()});
    return drives;
}

QString DeviceLabel(const QString& device) {
    return VolumeLabel(device);
}

ItemIDList PathToIDList(const QString& path) {
    if (path.isEmpty())
        return ItemIDList();
    const QString absolute = QDir::cleanPath(
        path.startsWith(QLatin1Char('/')) ? path : JoinChild(QDir::currentPath(), path));
    if (!MediumAnswers(absolute))
        return ItemIDList();
    struct stat st;
    if (::stat(PathToBytes(absolute).constData(), &st) != 0)
        return ItemIDList();

    const QString desktop = DesktopDirectory();
    const QString home = HomeDirectory();
    ItemIDList list;
    QString base;
    if (desktop != home && absolute != desktop && IsUnderFolder(absolute, desktop)) {
        list = DesktopIDList();
        base = desktop;
    } else if (IsUnderFolder(absolute, home)) {
        list = MakeIDList(sikHome, QByteArray());
        base = home;
    } else {
        const QList<TMountEntry> drives = DriveMounts(ReadMountTable());
        const int index = FindMount(drives, absolute);
        if (index < 0)
            return ItemIDList();
        base = drives[index].MountPoint;
        list = ConcatIDLists(MakeIDList(sikComputer, QByteArray()),
                             MakeIDList(sikDrive, PathToBytes(base)));
    }
    const QString rest = absolute.mid(base.size());
    for (const QString& part : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        list = ConcatIDLists(list, MakeIDList(sikEntry, PathToBytes(part)));
    return list;
}

QString IDListToPath(const ItemIDList& list) {
    const int count = IDCount(list);
    if (count < 0)
        return QString();
    if (count == 0)
        return DesktopDirectory();
    QString path;
    bool virtualFolder = false;
    TShellIDKind last = TShellIDKind(0);
    for (qsizetype offset = 0; offset >= 0; offset = NextID(list, offset)) {
        last = IDKind(list, offset);
        const QByteArray name = IDName(list, offset);
        switch (last) {
        case sikHome:
            if (offset != 0)
                return QString();
            path = HomeDirectory();
            break;
        case sikComputer:
        case sikNetwork:
            if (offset != 0)
                return QString();
            virtualFolder = true;
            break;
        case sikDrive:
            if (!virtualFolder || !path.isEmpty())
                return QString();
            path = PathFromBytes(name);
            break;
        case sikEntry:
            if (offset == 0)
                path = DesktopDirectory();
            else if (path.isEmpty())
                return QString();
            path = JoinChild(path, PathFromBytes(name));
            break;
        default:
            return QString();
        }
    }
    if (last == sikDrive && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

ItemIDList SpecialFolderID(int csidl) {
    switch (csidl) {
    case CSIDL_DESKTOP:
        return DesktopIDList();
    case CSIDL_DESKTOPDIRECTORY:
        return PathToIDList(DesktopDirectory());
    case CSIDL_DRIVES:
        return MakeIDList(sikComputer, QByteArray());
    case CSIDL_NETWORK:
        return MakeIDList(sikNetwork, QByteArray());
    case CSIDL_BITBUCKET:
        return MakeIDList(sikTrash, QByteArray());
    default:
        return ItemIDList();
    }
}

// ---- Folders --------------------------------------------------------------

TShellFolder::TShellFolder(ItemIDList absolute, QString path)
    : Absolute(std::move(absolute)), FolderPath(std::move(path)) {}

std::shared_ptr<TShellFolder> DesktopFolder() {
    static const std::shared_ptr<TShellFolder> desktop =
        std::make_shared<TShellFolder>(DesktopIDList(), QString());
    return desktop;
}

std::shared_ptr<TShellFolder> TShellFolder::BindToObject(const ItemIDList& relative) const {
    const ItemIDList absolute = ConcatIDLists(Absolute, relative);
    const int count = IDCount(absolute);
    if (count <= 0)
        return count == 0 ? DesktopFolder() : nullptr;
    qsizetype last = 0;
    for (qsizetype next = NextID(absolute, 0); next >= 0; next = NextID(absolute, next))
        last = next;
    const TShellIDKind kind = IDKind(absolute, last);
    if (kind == sikComputer || kind == sikNetwork || kind == sikTrash)
        return count == 1 ? std::make_shared<TShellFolder>(absolute, QString()) : nullptr;
    QString path = IDListToPath(absolute);
    if (path.isEmpty())
        return nullptr;
    return std::make_shared<TShellFolder>(absolute, path);
}

bool TShellFolder::EnumObjects(unsigned flags, QList<ItemIDList>& ids) {
    ids.clear();
    const bool hidden = flags & SHCONTF_INCLUDEHIDDEN;
    const int count = IDCount(Absolute);
    QString folder = FolderPath;
    if (count == 0) {
        for (TShellIDKind kind : {sikHome, sikComputer, sikNetwork, sikTrash})
            ids.append(MakeIDList(kind, QByteArray()));
        folder = DesktopDirectory();
        if (folder == HomeDirectory())
            return true;
    } else if (FolderPath.isEmpty()) {
        const TShellIDKind kind = IDKind(Absolute);
        if (kind == sikComputer || kind == sikNetwork) {
            for (const TMountEntry& drive : DriveMounts(ReadMountTable()))
                if (kind == sikComputer || MediumKind(drive.FsType) == mkNetwork)
                    ids.append(MakeIDList(sikDrive, PathToBytes(drive.MountPoint)));
        }
        return kind == sikComputer || kind == sikNetwork || kind == sikTrash;
    }
    const QList<TMountEntry> table = ReadMountTable();
    if (!MediumAnswers(folder, table))
        return false;
    DIR* dir = ::opendir(PathToBytes(folder).constData());
    if (!dir)
        return false;
    const int fd = ::dirfd(dir);
    Links.clear();
    // Folders on a medium that may stop answering (its own, or one mounted
    // on a child) are not looked into again until they are listed.
    const int mount = FindMount(table, folder);
    Remote = mount >= 0 && MediumKind(table[mount].FsType) != mkLocal;
    RemoteChildren.clear();
    const QString base =
        folder.size() > 1 && folder.endsWith(QLatin1Char('/')) ? folder.chopped(1) : folder;
    for (const TMountEntry& entry : table) {
        const qsizetype cut = entry.MountPoint.lastIndexOf(QLatin1Char('/'));
        const QString parent = cut <= 0 ? QStringLiteral("/") : entry.MountPoint.left(cut);
        if (cut >= 0 && parent == base && entry.MountPoint != base &&
            MediumKind(entry.FsType) != mkLocal)
            RemoteChildren.insert(PathToBytes(entry.MountPoint.mid(cut + 1)));
    }
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (IsDotOrDotDot(name) || (!hidden && name[0] == '.'))
            continue;
        const bool link = entry->d_type == DT_LNK;
        if (entry->d_type != DT_DIR && !link && entry->d_type != DT_UNKNOWN)
            continue;
        // The entry's type names a folder as it is; a link or an entry of
        // unknown type is looked at (relative to the open parent). Whether a
        // folder has subfolders is asked later, for the nodes on show.
        struct stat st;
        if (entry->d_type != DT_DIR && (::fstatat(fd, name, &st, 0) != 0 || !S_ISDIR(st.st_mode)))
            continue;
        const QByteArray bytes(name);
        Links.insert(bytes, link);
        ids.append(MakeIDList(sikEntry, bytes));
    }
    ::closedir(dir);
    // Handed out in display order: each name's key is made once, and the
    // caller's sort then finds nothing to move.
    std::vector<std::pair<int, qsizetype>> order;
    order.reserve(size_t(ids.size()));
    Keys.reserve(Keys.size() + ids.size());
    SortKeys.reserve(SortKeys.size() + size_t(ids.size()));
    for (qsizetype i = 0; i < ids.size(); ++i)
        order.emplace_back(KindRank(IDKind(ids[i])) == 5 ? SortKey(IDName(ids[i])) : -1, i);
    std::stable_sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
        if ((a.first < 0) != (b.first < 0))
            return a.first < 0;
        if (a.first < 0)
            return CompareIDs(ids[a.second], ids[b.second]) == 2;
        const int keys = SortKeys[size_t(a.first)].compare(SortKeys[size_t(b.first)]);
        return keys != 0 ? keys < 0 : CompareIDs(ids[a.second], ids[b.second]) == 2;
    });
    QList<ItemIDList> sorted;
    sorted.reserve(ids.size());
    for (const auto& entry : order)
        sorted.append(ids[entry.second]);
    ids = std::move(sorted);
    return true;
}

int TShellFolder::SortKey(const QByteArray& name) {
    // One look-up finds or makes the slot; it holds the index + 1.
    int& slot = Keys[name];
    if (slot == 0) {
        SortKeys.push_back(NameCollator().sortKey(DisplayPath(PathFromBytes(name))));
        slot = int(SortKeys.size());
    }
    return slot - 1;
}

int TShellFolder::CompareIDs(const ItemIDList& a, const ItemIDList& b) {
    if (!IsWellFormed(a) || !IsWellFormed(b))
        return 3;
    qsizetype x = 0;
    qsizetype y = 0;
    while (true) {
        const bool endA = IDLength(a, x) == 0;
        const bool endB = IDLength(b, y) == 0;
        if (endA || endB)
            return endA && endB ? 0 : (endA ? 2 : 1);
        const TShellIDKind kindA = IDKind(a, x);
        const TShellIDKind kindB = IDKind(b, y);
        const int rankA = KindRank(kindA);
        const int rankB = KindRank(kindB);
        if (rankA != rankB)
            return rankA > rankB ? 1 : 2;
        const QByteArray nameA = IDName(a, x);
        const QByteArray nameB = IDName(b, y);
        if (nameA != nameB) {
            const int keyA = SortKey(nameA);
            const int keyB = SortKey(nameB);
            int order = SortKeys[size_t(keyA)].compare(SortKeys[size_t(keyB)]);
            // Names the collator takes as equal ("a" and "A") still differ.
            if (order == 0)
                order = std::memcmp(nameA.constData(), nameB.constData(),
                                    size_t(std::min(nameA.size(), nameB.size())));
            if (order == 0)
                order = nameA.size() < nameB.size() ? -1 : 1;
            return order > 0 ? 1 : 2;
        }
        x += IDLength(a, x);
        y += IDLength(b, y);
    }
}

QString TShellFolder::ChildPath(const ItemIDList& id) const {
    if (!FolderPath.isEmpty() && IDCount(id) == 1 && IDKind(id) == sikEntry)
        return JoinChild(FolderPath, PathFromBytes(IDName(id)));
    return IDListToPath(ConcatIDLists(Absolute, id));
}

unsigned TShellFolder::GetAttributesOf(const ItemIDList& id, unsigned mask) {
    if (IDCount(id) < 0)
        return 0;
    if (IDCount(id) == 0)
        return (SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER | SFGAO_DROPTARGET) &
               mask;
    unsigned attributes = 0;
    switch (IDKind(id)) {
    case sikComputer:
        attributes = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER;
        break;
    case sikNetwork: {
        attributes = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
        if (mask & SFGAO_HASSUBFOLDER) {
            for (const TMountEntry& drive : DriveMounts(ReadMountTable()))
                if (MediumKind(drive.FsType) == mkNetwork)
                    attributes |= SFGAO_HASSUBFOLDER;
        }
        break;
    }
    case sikTrash:
        attributes = SFGAO_FOLDER | SFGAO_DROPTARGET;
        break;
    case sikDrive:
        // A drive is not looked into here: a dead network mount would hang.
        attributes = SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER |
                     SFGAO_DROPTARGET | SFGAO_CANCOPY | SFGAO_CANLINK;
        break;
    case sikHome:
    case sikEntry: {
        const bool home = IDKind(id) == sikHome;
        attributes = SFGAO_FILESYSTEM | SFGAO_CANCOPY | SFGAO_CANLINK;
        if (home)
            attributes |= SFGAO_FILESYSANCESTOR;
        else
            attributes |= SFGAO_CANMOVE | SFGAO_CANRENAME | SFGAO_CANDELETE;
        const QByteArray name = IDName(id);
        if ((mask & SFGAO_LINK) && !home) {
            auto known = Links.constFind(name);
            struct stat st;
            const bool link = known != Links.constEnd()
                                  ? *known
                                  : ::lstat(PathToBytes(ChildPath(id)).constData(), &st) == 0 &&
                                        S_ISLNK(st.st_mode);
            if (link)
                attributes |= SFGAO_LINK;
        }
        if ((mask & (SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_DROPTARGET)) && !home &&
            Links.contains(name) && (Remote || RemoteChildren.contains(name))) {
            // Listed as a folder on a medium that may stop answering: drawing
            // it never waits on the medium; expanding it (guarded by the
            // drive check's time-out) tells whether it holds subfolders.
            attributes |= SFGAO_FOLDER | SFGAO_DROPTARGET | SFGAO_HASSUBFOLDER;
        } else if (mask & (SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_DROPTARGET)) {
            const QByteArray path = PathToBytes(ChildPath(id));
            struct stat st;
            if (::stat(path.constData(), &st) != 0)
                return 0; // gone
            if (S_ISDIR(st.st_mode)) {
                attributes |= SFGAO_FOLDER | SFGAO_DROPTARGET;
                if ((mask & SFGAO_HASSUBFOLDER) && HasSubfolder(AT_FDCWD, path.constData(), st))
                    attributes |= SFGAO_HASSUBFOLDER;
            }
        }
        break;
    }
    default:
        return 0;
    }
    return attributes & mask;
}

QString TShellFolder::GetDisplayNameOf(const ItemIDList& id) {
    const int count = IDCount(id);
    if (count == 0)
        return QStringLiteral("デスクトップ");
    if (count < 0)
        return QString();
    qsizetype last = 0;
    for (qsizetype next = NextID(id, 0); next >= 0; next = NextID(id, next))
        last = next;
    switch (IDKind(id, last)) {
    case sikHome:
        return QStringLiteral("ホーム");
    case sikComputer:
        return QStringLiteral("コンピュータ");
    case sikNetwork:
        return QStringLiteral("ネットワーク");
    case sikTrash:
        return QStringLiteral("ごみ箱");
    case sikDrive:
        return DriveCaption(PathFromBytes(IDName(id, last)));
    case sikEntry:
        return DisplayPath(PathFromBytes(IDName(id, last)));
    default:
        return QString();
    }
}

ItemIDList TShellFolder::SetNameOf(QWidget* owner, const ItemIDList& id, const QString& name) {
    if (IDCount(id) != 1 || IDKind(id) != sikEntry)
        return ItemIDList();
    const QString oldPath = ChildPath(id);
    const QByteArray newName = PathToBytes(name);
    if (newName == IDName(id))
        return CopyIDList(id);
    TFileOpError error;
    error.Headline = QStringLiteral("フォルダの名前を変更できません。");
    error.Paths << DisplayPath(oldPath) << DisplayPath(name);
    if (newName.isEmpty() || newName.contains('/') || newName.contains('\0') ||
        IsDotOrDotDot(newName)) {
        error.Reason = QStringLiteral("名前に使えない文字が含まれているか、名前が空です。");
        ShowFileOpError(owner, error);
        return ItemIDList();
    }
    // The desktop's own path is empty: its files live in the desktop folder.
    const QString newPath =
        JoinChild(oldPath.left(oldPath.lastIndexOf(QLatin1Char('/')) + 1), PathFromBytes(newName));
    const QByteArray from = PathToBytes(oldPath);
    const QByteArray to = PathToBytes(newPath);
    int result =
        ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A filesystem without the no-replace rename: look first.
        struct stat st;
        if (::lstat(to.constData(), &st) == 0) {
            errno = EEXIST;
        } else {
            result = ::rename(from.constData(), to.constData());
        }
    }
    if (result != 0) {
        error.Code = errno;
        ShowFileOpError(owner, error);
        return ItemIDList();
    }
    Links.remove(IDName(id));
    return MakeIDList(sikEntry, newName);
}
