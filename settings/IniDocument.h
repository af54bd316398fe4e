#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// The text of one INI file held in memory, line by line, so that a change
// touches only the line it concerns and every other line (comments, keys of
// other programs, lines a user typed) is written back exactly as it was,
// line ends included.
//
// Sections and keys are matched without regard to case. A key line is
// "key=value"; the key is taken without the blanks around it. A line whose
// first non-blank character is ';' is a comment. The lines before the first
// section header belong to no section and are never read or changed.
class TIniDocument {
public:
    // Decodes the bytes of a file: UTF-8 (a leading byte-order mark is kept
    // for the rewrite), or Shift-JIS when the bytes are not valid UTF-8, or
    // UTF-16 when they start with its byte-order mark.
    static TIniDocument FromBytes(const QByteArray& bytes);
    // The bytes to store: always UTF-8.
    QByteArray ToBytes() const;

    // The raw text after the first '=' of the first line that holds the key;
    // false when the section or the key is missing.
    bool RawValue(const QString& section, const QString& key, QString& value) const;
    // Replaces the key's line where it stands, or adds "key=value" after the
    // last line with content of the section, or adds the section at the end.
    void SetValue(const QString& section, const QString& key, const QString& value);
    // Removes every line that holds the key in the section; false when none.
    bool DeleteKey(const QString& section, const QString& key);
    // Removes the section's header and its lines up to its last line with
    // content (blank and comment lines that lead into the next section stay);
    // false when the section is missing.
    bool EraseSection(const QString& section);

    int LineCount() const { return Lines.size(); }
    bool HadByteOrderMark() const { return Bom; }
    bool WasShiftJis() const { return ShiftJis; }

private:
    struct TLine {
        QString Text;
        QString Eol; // "\n", "\r\n" or empty for a last line without one
    };
    struct TRange {
        int Header; // index of the "[name]" line
        int End;    // one past the section's last line (next header or end)
    };

    QVector<TRange> Sections(const QString& name) const;
    int KeyLine(const TRange& r, const QString& key) const;
    int LastContentLine(const TRange& r) const;
    void InsertLine(int at, const QString& text);

    QVector<TLine> Lines;
    QString NewEol = QStringLiteral("\n");
    bool Bom = false;
    bool ShiftJis = false;
};

// Line classification, shared by the document and its tests.
bool IniLineSection(const QString& line, QString& name);
bool IniLineKey(const QString& line, QString& key, QString& value);
bool IniLineIsContent(const QString& line);
