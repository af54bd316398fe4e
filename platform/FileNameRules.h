#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The rules of file names that the folder list, the plug-in search and the
// picture classes share. Names are held as platform/FileName.h describes;
// none of these rules looks past the letters A to Z, so a name's other
// characters (and the bytes kept for names that are not UTF-8) pass as they
// are.

// The extension of a name or path: the text from the last "." of its last
// component, dot included ("a.tar.gz" gives ".gz", "a." gives "."); empty
// when that component has no dot. A view into the name, made without copies.
QStringView ExtractFileExt(QStringView name);

// Lower-cases the letters A to Z only.
QString LowerAZ(const QString& text);

// Whether two texts are equal once their letters A to Z are lower-cased.
bool SameTextAZ(QStringView a, QStringView b);

// Whether a directory entry's name is "." or "..", the entries that stand for
// the folder itself and its parent.
bool IsDotOrDotDot(QByteArrayView name);
