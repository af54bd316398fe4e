#pragma once

#include "platform/FileOperation.h"

class QWidget;

// Copies one file to the target path for the window `owner`: the copy is
// written to a temporary file in the target folder and renamed over the
// target only once it is complete and on the disk, so an existing target is
// either replaced whole or left as it was. A missing target folder is made;
// the modification time and the mode are kept where the filesystem can keep
// them. Shows progress and errors. With `noReplace` the target is never
// replaced: a name taken, also at the last moment, gives forTaken.
TFileOpResult ShellCopyFile(QWidget* owner, const QString& source, const QString& target,
                            bool noReplace = false);

// The copy itself, without any window (any thread). Fills `error` on failure.
TFileOpResult CopyFileReplacing(const QString& source, const QString& target,
                                TFileOpContext& context, TFileOpError& error);
