#pragma once

#include "platform/FileOperation.h"

class QWidget;

// Moves one file to the target path for the window `owner`, replacing an
// existing target. On one filesystem this is a rename; across filesystems the
// file is copied (see ShellCopyFile), the copy flushed to the disk, and only
// then the source removed, and only while it is still the file that was
// copied. Shows progress and errors. With `noReplace` as ShellCopyFile.
TFileOpResult ShellMoveFile(QWidget* owner, const QString& source, const QString& target,
                            bool noReplace = false);

// The move itself, without any window (any thread). Fills `error` on failure.
TFileOpResult MoveFileReplacing(const QString& source, const QString& target,
                                TFileOpContext& context, TFileOpError& error);
