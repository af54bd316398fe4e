#include "settings/IniDocument.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

const char Utf8Bom[] = "\xEF\xBB\xBF";

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QStringView TrimBlanks(QStringView s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.sliced(b, e - b);
}

bool SameName(QStringView a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

bool IniLineSection(const QString& line, QString& name) {
    const QStringView t = TrimBlanks(line);
    if (!t.startsWith(u'['))
        return false;
    const qsizetype close = t.indexOf(u']');
    if (close < 0)
        return false;
    name = TrimBlanks(t.sliced(1, close - 1)).toString();
    return true;
}

bool IniLineKey(const QString& line, QString& key, QString& value) {
    const QStringView t = TrimBlanks(line);
    if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'['))
        return false;
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return false;
    key = TrimBlanks(QStringView(line).first(eq)).toString();
    if (key.isEmpty())
        return false;
    value = line.mid(eq + 1);
    return true;
}

bool IniLineIsContent(const QString& line) {
    const QStringView t = TrimBlanks(line);
    return !t.isEmpty() && !t.startsWith(u';');
}

TIniDocument TIniDocument::FromBytes(const QByteArray& bytes) {
    TIniDocument doc;
    QByteArrayView body(bytes);
    const bool bom = body.startsWith(QByteArrayView(Utf8Bom, 3));
    if (bom)
        body = body.sliced(3);

    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString text;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        // A file saved as UTF-16 by an editor: read it, store it as UTF-8.
        QStringDecoder utf16(bytes.startsWith("\xFF") ? QStringDecoder::Utf16LE
                                                      : QStringDecoder::Utf16BE);
        text = utf16.decode(QByteArrayView(bytes).sliced(2));
    } else if (text = utf8.decode(body); utf8.hasError()) {
        // Files written by earlier versions on Windows hold Shift-JIS bytes.
        QStringDecoder sjis("Shift_JIS");
        text = sjis.isValid() ? QString(sjis.decode(body)) : QString::fromLatin1(body);
        doc.ShiftJis = true;
    } else {
        doc.Bom = bom;
    }

    bool eolSeen = false;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype nl = text.indexOf(u'\n', start);
        TLine line;
        if (nl < 0) {
            line.Text = text.mid(start);
            start = text.size();
        } else {
            qsizetype end = nl;
            if (end > start && text[end - 1] == u'\r') {
                --end;
                line.Eol = QStringLiteral("\r\n");
            } else {
                line.Eol = QStringLiteral("\n");
            }
            line.Text = text.mid(start, end - start);
            start = nl + 1;
            if (!eolSeen) {
                doc.NewEol = line.Eol;
                eolSeen = true;
            }
        }
        doc.Lines.append(std::move(line));
    }
    return doc;
}

QByteArray TIniDocument::ToBytes() const {
    QString text;
    for (const TLine& l : Lines) {
        text += l.Text;
        text += l.Eol;
    }
    QByteArray out;
    if (Bom)
        out.append(Utf8Bom, 3);
    out.append(text.toUtf8());
    return out;
}

QVector<TIniDocument::TRange> TIniDocument::Sections(const QString& name) const {
    QVector<TRange> found;
    QString current;
    for (int i = 0; i < Lines.size(); ++i) {
        if (!IniLineSection(Lines[i].Text, current))
            continue;
        if (!found.isEmpty() && found.last().End < 0)
            found.last().End = i;
        if (SameName(current, name))
            found.append({i, -1});
    }
    if (!found.isEmpty() && found.last().End < 0)
        found.last().End = Lines.size();
    return found;
}

int TIniDocument::KeyLine(const TRange& r, const QString& key) const {
    QString k, v;
    for (int i = r.Header + 1; i < r.End; ++i)
        if (IniLineKey(Lines[i].Text, k, v) && SameName(k, key))
            return i;
    return -1;
}

int TIniDocument::LastContentLine(const TRange& r) const {
    for (int i = r.End - 1; i > r.Header; --i)
        if (IniLineIsContent(Lines[i].Text))
            return i;
    return r.Header;
}

void TIniDocument::InsertLine(int at, const QString& text) {
    if (at > 0 && Lines[at - 1].Eol.isEmpty())
        Lines[at - 1].Eol = NewEol;
    Lines.insert(at, TLine{text, NewEol});
}

bool TIniDocument::RawValue(const QString& section, const QString& key, QString& value) const {
    for (const TRange& r : Sections(section)) {
        const int i = KeyLine(r, key);
        if (i >= 0) {
            QString k;
            IniLineKey(Lines[i].Text, k, value);
            return true;
        }
    }
    return false;
}

void TIniDocument::SetValue(const QString& section, const QString& key, const QString& value) {
    const QVector<TRange> ranges = Sections(section);
    for (const TRange& r : ranges) {
        const int i = KeyLine(r, key);
        if (i >= 0) {
            QString k, v;
            IniLineKey(Lines[i].Text, k, v);
            qsizetype indent = 0;
            while (IsBlank(Lines[i].Text[indent]))
                ++indent;
            Lines[i].Text = Lines[i].Text.left(indent) + k + u'=' + value;
            return;
        }
    }
    if (!ranges.isEmpty()) {
        InsertLine(LastContentLine(ranges.first()) + 1, key + u'=' + value);
        return;
    }
    InsertLine(Lines.size(), u'[' + section + u']');
    InsertLine(Lines.size(), key + u'=' + value);
}

bool TIniDocument::DeleteKey(const QString& section, const QString& key) {
    bool removed = false;
    const QVector<TRange> ranges = Sections(section);
    for (auto r = ranges.rbegin(); r != ranges.rend(); ++r) {
        QString k, v;
        for (int i = r->End - 1; i > r->Header; --i)
            if (IniLineKey(Lines[i].Text, k, v) && SameName(k, key)) {
                Lines.remove(i);
                removed = true;
            }
    }
    return removed;
}

bool TIniDocument::EraseSection(const QString& section) {
    const QVector<TRange> ranges = Sections(section);
    for (auto r = ranges.rbegin(); r != ranges.rend(); ++r) {
        const int last = LastContentLine(*r);
        Lines.remove(r->Header, last - r->Header + 1);
    }
    return !ranges.isEmpty();
}
