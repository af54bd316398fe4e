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

namespace {
// Equal once the letters A to Z of `text` are lower-cased; `lower` is lower case.
bool EqualLowerAZ(QStringView text, const QString& lower) {
    if (text.size() != lower.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t c = text[i].unicode();
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c + 32);
        if (c != lower[i].unicode())
            return false;
    }
    return true;
}
} // namespace

bool IsDispExt(QStringView ext) {
    // Called once per directory entry: compares in place, without copies.
    for (const TDispExt& entry : DispExt) {
        if (entry.Enabled && EqualLowerAZ(ext, entry.Ext))
            return true;
    }
    return false;
}
