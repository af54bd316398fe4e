#include "platform/FileNameRules.h"

namespace {
char16_t FoldAZ(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}
} // namespace

QStringView ExtractFileExt(QStringView name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    const qsizetype slash = name.lastIndexOf(u'/');
    if (dot < 0 || dot < slash)
        return QStringView();
    return name.mid(dot);
}

QString LowerAZ(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        c = QChar(FoldAZ(c.unicode()));
    return out;
}

bool SameTextAZ(QStringView a, QStringView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (FoldAZ(a[i].unicode()) != FoldAZ(b[i].unicode()))
            return false;
    }
    return true;
}

bool IsDotOrDotDot(QByteArrayView name) {
    return name == "." || name == "..";
}
