#include "settings/IniAccess.h"

#include "settings/IniDocument.h"
#include "settings/IniFileStore.h"

#include <limits>

namespace {

constexpr int MaxValueBytes = 2047;

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}
bool IsQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

int HexDigit(QChar c) {
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// One change of the file: read it, let `change` edit the lines, store the
// result when it differs. False when the file could not be read or stored.
template <typename F> bool ChangeFile(const QString& path, F change) {
    QByteArray before;
    if (!IniLoadBytes(path, before))
        return false;
    TIniDocument doc = TIniDocument::FromBytes(before);
    change(doc);
    const QByteArray after = doc.ToBytes();
    if (after == before)
        return true;
    return IniStoreBytes(path, after);
}

} // namespace

EIniWriteError::EIniWriteError(const QString& path)
    : EInOutError(QStringLiteral("%1 に書き込めません").arg(path)) {}

QString IniCleanValue(const QString& raw) {
    qsizetype b = 0;
    qsizetype e = raw.size();
    while (b < e && IsBlank(raw[b]))
        ++b;
    while (e > b && IsBlank(raw[e - 1]))
        --e;
    if (e - b >= 2 && IsQuote(raw[b]) && raw[e - 1] == raw[b]) {
        ++b;
        --e;
    }
    QString value = raw.mid(b, e - b);
    if (value.size() * 3 <= MaxValueBytes)
        return value;
    // Cut to the byte limit without splitting a character.
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < value.size()) {
        const bool pair =
            value[i].isHighSurrogate() && i + 1 < value.size() && value[i + 1].isLowSurrogate();
        const char32_t c =
            pair ? QChar::surrogateToUcs4(value[i], value[i + 1]) : char32_t(value[i].unicode());
        const int n = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (bytes + n > MaxValueBytes)
            break;
        bytes += n;
        i += pair ? 2 : 1;
    }
    value.truncate(i);
    return value;
}

QString IniStoredValue(const QString& value) {
    QString v = value;
    v.replace(u'\r', u' ').replace(u'\n', u' ');
    const bool blankEnds = !v.isEmpty() && (IsBlank(v.front()) || IsBlank(v.back()));
    const bool quoted = v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front();
    if (blankEnds || quoted)
        return u'"' + v + u'"';
    return v;
}

bool IniParseInteger(const QString& text, int& value) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    if (i >= n)
        return false;

    bool hex = false;
    if (text[i] == u'$' || text[i] == u'x' || text[i] == u'X') {
        hex = true;
        ++i;
    } else if (text[i] == u'0' && i + 1 < n && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (hex) {
        if (i >= n || n - i > 8)
            return false;
        quint32 bits = 0;
        for (; i < n; ++i) {
            const int d = HexDigit(text[i]);
            if (d < 0)
                return false;
            bits = (bits << 4) | quint32(d);
        }
        value = int(bits);
        return true;
    }

    bool negative = false;
    if (text[i] == u'+' || text[i] == u'-') {
        negative = text[i] == u'-';
        ++i;
    }
    if (i >= n)
        return false;
    const qint64 limit = negative ? qint64(std::numeric_limits<int>::max()) + 1
                                  : qint64(std::numeric_limits<int>::max());
    qint64 magnitude = 0;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (c < u'0' || c > u'9')
            return false;
        magnitude = magnitude * 10 + (c.unicode() - u'0');
        if (magnitude > limit)
            return false;
    }
    value = int(negative ? -magnitude : magnitude);
    return true;
}

int IniStrToIntDef(const QString& text, int def) {
    QString t = text;
    if (t.size() > 2 && (t.startsWith(QLatin1String("0x")) || t.startsWith(QLatin1String("0X"))))
        t.replace(0, 2, QStringLiteral("$"));
    int value = def;
    return IniParseInteger(t, value) ? value : def;
}

QString IniReadString(const QString& path, const QString& section, const QString& key,
                      const QString& def) {
    QByteArray bytes;
    if (!IniLoadBytes(path, bytes))
        return def;
    QString raw;
    if (!TIniDocument::FromBytes(bytes).RawValue(section, key, raw))
        return def;
    return IniCleanValue(raw);
}

int IniReadInteger(const QString& path, const QString& section, const QString& key, int def) {
    return IniStrToIntDef(IniReadString(path, section, key, QString()), def);
}

void IniWriteString(const QString& path, const QString& section, const QString& key,
                    const QString& value) {
    const QString stored = IniStoredValue(value);
    if (!ChangeFile(path, [&](TIniDocument& doc) { doc.SetValue(section, key, stored); }))
        throw EIniWriteError(path);
}

void IniWriteInteger(const QString& path, const QString& section, const QString& key, int value) {
    IniWriteString(path, section, key, QString::number(value));
}

void IniDeleteKey(const QString& path, const QString& section, const QString& key) {
    ChangeFile(path, [&](TIniDocument& doc) { doc.DeleteKey(section, key); });
}

void IniEraseSection(const QString& path, const QString& section) {
    if (!ChangeFile(path, [&](TIniDocument& doc) { doc.EraseSection(section); }))
        throw EIniWriteError(path);
}
