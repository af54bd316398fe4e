#pragma once

#include "platform/Exceptions.h"

#include <QString>

// The INI file routines. Each one opens the file for exactly one access and
// lets it go again: nothing is cached between calls, so every read sees what
// is on disk at that moment. Files are read as UTF-8 (Shift-JIS when they are
// not valid UTF-8) and written as UTF-8; every write replaces the file as a
// whole, atomically, so that an interrupted write never leaves it cut short.

// A write or section erase that could not be stored. The message names the
// file: "<path> に書き込めません".
class EIniWriteError : public EInOutError {
public:
    explicit EIniWriteError(const QString& path);
};

// The key's value, blanks around it removed and one enclosing pair of single
// or double quotes dropped, cut to 2047 bytes; `def` when the key or the file
// is missing.
QString IniReadString(const QString& path, const QString& section, const QString& key,
                      const QString& def);
// The key's value as a 32-bit integer (see IniStrToIntDef); `def` when the key
// is missing or its value is not a number.
int IniReadInteger(const QString& path, const QString& section, const QString& key, int def);
// Sets the key, creating the file, the section and the key as needed. Raises
// EIniWriteError when the file cannot be written.
void IniWriteString(const QString& path, const QString& section, const QString& key,
                    const QString& value);
// Writes the decimal text of the value through IniWriteString.
void IniWriteInteger(const QString& path, const QString& section, const QString& key, int value);
// Removes the key; a failure is ignored.
void IniDeleteKey(const QString& path, const QString& section, const QString& key);
// Removes the section with all its keys. Raises EIniWriteError when the file
// cannot be written.
void IniEraseSection(const QString& path, const QString& section);

// The value as read: blanks (spaces, tabs) around it removed, one enclosing
// pair of matching quotes dropped, then cut to at most 2047 bytes of UTF-8
// (never inside a character).
QString IniCleanValue(const QString& raw);
// The text stored for a value so that IniCleanValue gives it back unchanged:
// the value itself, or the value in double quotes when it has blanks at
// either end or is itself enclosed in quotes. Line breaks, which would split
// the line, become spaces.
QString IniStoredValue(const QString& value);

// Integer syntax of the INI file: leading spaces, then either an optional
// sign and decimal digits that fit a signed 32-bit integer, or a hexadecimal
// number of at most eight digits introduced by "$", "x", "X" or "0x" (no
// sign) taken as a 32-bit pattern. The whole text must be used. False on any
// error, `value` then untouched.
bool IniParseInteger(const QString& text, int& value);
// The reading rule of IniReadInteger: a text longer than two characters that
// starts with "0x" or "0X" has that prefix replaced by "$", then it is parsed
// as above; an empty or malformed text gives `def`.
int IniStrToIntDef(const QString& text, int def);
