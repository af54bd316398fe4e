#include "platform/FileName.h"

#include <QStringDecoder>
#include <QStringList>

namespace {

constexpr char16_t RawBase = 0xDC00;

bool IsRawUnit(char16_t unit) {
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

// Length of the valid UTF-8 sequence at p (strict: no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when it is not valid.
int ValidSequence(const unsigned char* p, qsizetype left, char32_t& code) {
    const unsigned char b0 = p[0];
    if (b0 < 0x80) {
        code = b0;
        return 1;
    }
    int length = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        code = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        code = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4;
        code = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (left < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (p[i] & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QString PathFromBytes(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        char32_t code = 0;
        const int length = ValidSequence(p + i, n - i, code);
        if (length == 0) {
            out.append(QChar(char16_t(RawBase + p[i])));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(code)));
            out.append(QChar(QChar::lowSurrogate(code)));
        } else {
            out.append(QChar(char16_t(code)));
        }
        i += length;
    }
    return out;
}

QByteArray PathToBytes(const QString& path) {
    QByteArray out;
    out.reserve(path.size());
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t unit = path.at(i).unicode();
        char32_t code = unit;
        if (IsRawUnit(unit)) {
            out.append(char(unit - RawBase));
            continue;
        }
        if (QChar::isHighSurrogate(unit) && i + 1 < n && path.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(unit, path.at(i + 1).unicode());
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            code = 0xFFFD; // a stray surrogate that no name decoded to
        }
        if (code < 0x80) {
            out.append(char(code));
        } else if (code < 0x800) {
            out.append(char(0xC0 | (code >> 6)));
            out.append(char(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.append(char(0xE0 | (code >> 12)));
            out.append(char(0x80 | ((code >> 6) & 0x3F)));
            out.append(char(0x80 | (code & 0x3F)));
        } else {
            out.append(char(0xF0 | (code >> 18)));
            out.append(char(0x80 | ((code >> 12) & 0x3F)));
            out.append(char(0x80 | ((code >> 6) & 0x3F)));
            out.append(char(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

bool HasRawBytes(const QString& path) {
    for (const QChar c : path) {
        if (IsRawUnit(c.unicode()))
            return true;
    }
    return false;
}

QString DisplayPath(const QString& path) {
    if (!HasRawBytes(path))
        return path;
    // Each name of a path is read on its own: one broken name does not
    // spoil the Shift-JIS of the others.
    if (path.contains(QLatin1Char('/'))) {
        QStringList names = path.split(QLatin1Char('/'));
        for (QString& name : names)
            name = DisplayPath(name);
        return names.join(QLatin1Char('/'));
    }
    const QByteArray bytes = PathToBytes(path);
    QStringDecoder sjis("Shift_JIS", QStringDecoder::Flag::Stateless);
    if (sjis.isValid()) {
        const QString decoded = sjis.decode(bytes);
        if (!sjis.hasError() && !decoded.contains(QChar::ReplacementCharacter))
            return decoded;
    }
    QString shown = path;
    for (QChar& c : shown) {
        if (IsRawUnit(c.unicode()))
            c = QChar::ReplacementCharacter;
    }
    return shown;
}
