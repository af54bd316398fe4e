#include "app/DispExt.h"

#include "app/MainRules.h"
#include "platform/FileNameRules.h"

std::vector<TDispExt> DispExt;

void BuildDispExtFrom(const std::vector<QStringList>& pluginExtensions) {
    DispExt.clear();
    for (const char* ext : {".jpg", ".jpeg", ".bmp", ".ico"})
        DispExt.push_back({QString::fromLatin1(ext), true});
    for (const QStringList& lines : pluginExtensions) {
        if (lines.isEmpty())
            continue;
        for (const QString& ext : ExtensionsFromPatternLine(lines.front())) {
            if (!IsDispExt(ext))
                DispExt.push_back({ext, true});
        }
    }
}

bool IsDispExt(QStringView ext) {
    // Called once per directory entry: compares in place, without copies.
    // The table's extensions hold no letters A to Z.
    for (const TDispExt& entry : DispExt) {
        if (entry.Enabled && SameTextAZ(ext, entry.Ext))
            return true;
    }
    return false;
}
