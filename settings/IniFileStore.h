#pragma once

#include <QByteArray>
#include <QString>

// Reads the whole file into `bytes`. A missing file reads as empty; false
// when the file is there but cannot be read (a folder, no permission).
bool IniLoadBytes(const QString& path, QByteArray& bytes);

// Replaces the file's content as a whole: the bytes go into a new file in the
// same folder, are flushed to the disk and only then renamed over the old
// file, which keeps its permission bits (and owner, when allowed); the set-ID
// and sticky bits are dropped, as a write in place would drop them. A symbolic
// link is followed, so the link stays and its target is replaced; a link that
// points nowhere is not written. A missing folder is made. False when anything
// fails; the old file is then untouched and no temporary file is left behind.
// An existing file that the user may not write (a read-only file) is not
// replaced either.
bool IniStoreBytes(const QString& path, const QByteArray& bytes);
