#include "platform/ShellIcons.h"

#include "platform/Common.h"
#include "platform/FileName.h"

#include <QApplication>
#include <QStyle>

#include <vector>

namespace {
enum TIconSlot {
    isFolder,
    isFolderOpen,
    isHome,
    isComputer,
    isNetwork,
    isTrash,
    isDisk,
    isRemovable,
    isOptical,
    isDesktop,
    isRemote,
    isCount
};

std::vector<QIcon>& ImageList() {
    static std::vector<QIcon> icons;
    if (icons.empty()) {
        struct TSource {
            const char* Theme;
            QStyle::StandardPixmap Fallback;
        };
        static const TSource sources[isCount] = {{"folder", QStyle::SP_DirClosedIcon},
                                                 {"folder-open", QStyle::SP_DirOpenIcon},
                                                 {"user-home", QStyle::SP_DirHomeIcon},
                                                 {"computer", QStyle::SP_ComputerIcon},
                                                 {"network-workgroup", QStyle::SP_DriveNetIcon},
                                                 {"user-trash", QStyle::SP_TrashIcon},
                                                 {"drive-harddisk", QStyle::SP_DriveHDIcon},
                                                 {"drive-removable-media", QStyle::SP_DriveFDIcon},
                                                 {"drive-optical", QStyle::SP_DriveCDIcon},
                                                 {"user-desktop", QStyle::SP_DesktopIcon},
                                                 {"folder-remote", QStyle::SP_DriveNetIcon}};
        std::vector<QIcon> list;
        QStyle* style = qobject_cast<QApplication*>(QCoreApplication::instance())
                            ? QApplication::style()
                            : nullptr;
        for (const TSource& source : sources) {
            QIcon icon = QIcon::fromTheme(QLatin1String(source.Theme));
            if (icon.isNull() && style)
                icon = style->standardIcon(source.Fallback);
            list.push_back(icon);
        }
        icons = std::move(list);
    }
    return icons;
}

int DriveIconSlot(const QString& mountPoint) {
    const QList<TMountEntry> table = ReadMountTable();
    const int index = FindMount(table, mountPoint);
    const TMediumKind kind = index < 0 ? mkLocal : MediumKind(table[index].FsType);
    if (kind == mkNetwork)
        return isRemote;
    if (kind == mkOptical)
        return isOptical;
    if (mountPoint.startsWith(QLatin1String("/media/")) ||
        mountPoint.startsWith(QLatin1String("/run/media/")))
        return isRemovable;
    return isDisk;
}
} // namespace

int SystemIconIndex(const ItemIDList& absolute, bool open) {
    const int count = IDCount(absolute);
    if (count < 0)
        return -1;
    if (count == 0)
        return isDesktop;
    qsizetype last = 0;
    for (qsizetype next = NextID(absolute, 0); next >= 0; next = NextID(absolute, next))
        last = next;
    switch (IDKind(absolute, last)) {
    case sikHome:
        return isHome;
    case sikComputer:
        return isComputer;
    case sikNetwork:
        return isNetwork;
    case sikTrash:
        return isTrash;
    case sikDrive:
        return DriveIconSlot(PathFromBytes(IDName(absolute, last)));
    case sikEntry:
        return open ? isFolderOpen : isFolder;
    default:
        return -1;
    }
}

void ReloadSystemIcons() {
    ImageList().clear();
}

QIcon SystemIcon(int index) {
    const std::vector<QIcon>& icons = ImageList();
    return index >= 0 && size_t(index) < icons.size() ? icons[size_t(index)] : QIcon();
}

QIcon LinkOverlayIcon() {
    static const QIcon icon = [] {
        QIcon emblem = QIcon::fromTheme(QStringLiteral("emblem-symbolic-link"));
        if (emblem.isNull() && qobject_cast<QApplication*>(QCoreApplication::instance()))
            emblem = QApplication::style()->standardIcon(QStyle::SP_FileLinkIcon);
        return emblem;
    }();
    return icon;
}
