#include "app/DispExt.h"

#include "app/MainRules.h"

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

bool IsDispExt(const QString& ext) {
    const QString lower = LowerAZ(ext);
    for (const TDispExt& entry : DispExt) {
        if (entry.Ext == lower && entry.Enabled)
            return true;
    }
    return false;
}
