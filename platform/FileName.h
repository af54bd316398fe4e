#pragma once

#include <QByteArray>
#include <QString>

// File names on Linux are bytes, not text. Velmo holds every path as a
// QString that converts back to its exact bytes: valid UTF-8 decodes as
// usual, and each byte that is not part of a valid UTF-8 sequence is kept as
// the lone code unit U+DC00 + byte (U+DC80..U+DCFF). Such a unit never comes
// out of valid UTF-8, so the round trip is exact for every name the kernel
// can hold. Use these two at every boundary with the system instead of
// QFile::encodeName/decodeName, which lose the bytes of legacy names.
QString PathFromBytes(const QByteArray& bytes);
QByteArray PathToBytes(const QString& path);

// Whether the path holds bytes that are not UTF-8.
bool HasRawBytes(const QString& path);

// The text a person reads for a name or path: the name itself when it is
// UTF-8; otherwise its bytes decoded as Shift-JIS when they decode cleanly,
// else with each stray byte shown as U+FFFD. Never used to reach a file.
QString DisplayPath(const QString& path);
