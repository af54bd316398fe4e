#include "settings/FolderSets.h"

#include "settings/IniAccess.h"
#include "settings/Settings.h"
#include "settings/SettingsRules.h"

namespace {
const QString secUse = QStringLiteral("FOLDERSETUSE");

QString SetSection(int n) {
    return QStringLiteral("FOLDERSET%1").arg(n);
}

// The number of the named set, or of the first free section.
int SetNumber(const QString& name, bool orFree) {
    const QString ini = IniFileName();
    for (int n = 1;; ++n) {
        const QString stored = IniReadString(ini, SetSection(n), QStringLiteral("Name"), QString());
        if (stored.isEmpty())
            return orFree ? n : 0;
        if (stored == name)
            return n;
    }
}
} // namespace

QStringList FolderSetNames() {
    const QString ini = IniFileName();
    QStringList names;
    for (int n = 1;; ++n) {
        const QString name = IniReadString(ini, SetSection(n), QStringLiteral("Name"), QString());
        if (name.isEmpty())
            return names;
        names << name;
    }
}

void SaveFolderSet(const QString& name) {
    const QString ini = IniFileName();
    const QString section = SetSection(SetNumber(name, true));
    IniWriteString(ini, section, QStringLiteral("Name"), name);
    for (int k = 0; k < OutFolderCount; ++k) {
        IniWriteString(ini, section, QStringLiteral("Title%1").arg(k), OutFolders[k].Title);
        IniWriteString(ini, section, QStringLiteral("Path%1").arg(k),
                       PathToIniValue(OutFolders[k].Path));
    }
}

bool LoadFolderSet(const QString& name) {
    const int n = name.isEmpty() ? 0 : SetNumber(name, false);
    if (n == 0)
        return false;
    const QString ini = IniFileName();
    for (int k = 0; k < OutFolderCount; ++k) {
        OutFolders[k].Title =
            IniReadString(ini, SetSection(n), QStringLiteral("Title%1").arg(k), QString());
        OutFolders[k].Path = PathFromIniValue(
            IniReadString(ini, SetSection(n), QStringLiteral("Path%1").arg(k), QString()));
    }
    return true;
}

QString FolderSetFor(const QString& folder) {
    const QString ini = IniFileName();
    for (int n = 1;; ++n) {
        const QString stored =
            IniReadString(ini, secUse, QStringLiteral("Folder%1").arg(n), QString());
        if (stored.isEmpty())
            return QString();
        if (PathFromIniValue(stored) == folder)
            return IniReadString(ini, secUse, QStringLiteral("Set%1").arg(n), QString());
    }
}

void RememberFolderSet(const QString& folder, const QString& name) {
    if (folder.isEmpty())
        return;
    const QString ini = IniFileName();
    int n = 1;
    for (;; ++n) {
        const QString stored =
            IniReadString(ini, secUse, QStringLiteral("Folder%1").arg(n), QString());
        if (stored.isEmpty() || PathFromIniValue(stored) == folder)
            break;
    }
    IniWriteString(ini, secUse, QStringLiteral("Folder%1").arg(n), PathToIniValue(folder));
    IniWriteString(ini, secUse, QStringLiteral("Set%1").arg(n), name);
}
