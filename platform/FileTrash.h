#pragma once

#include "platform/FileOperation.h"

class QWidget;

// Moves one file into the desktop's trash (the freedesktop.org trash, so any
// desktop can restore it) for the window `owner`. A file on the home
// filesystem goes to $XDG_DATA_HOME/Trash, one elsewhere to that
// filesystem's own trash folder when it has or can get one. The file is never
// deleted when it cannot be trashed: the failure is shown instead. Gives the
// file's place in the trash in `pathInTrash` when asked.
TFileOpResult ShellDeleteToTrash(QWidget* owner, const QString& path,
                                 QString* pathInTrash = nullptr);

// The trashing itself, without any window (any thread). Gives the file's
// place in the trash in `pathInTrash`; fills `error` on failure.
TFileOpResult MoveFileToTrash(const QString& path, QString* pathInTrash, TFileOpContext& context,
                              TFileOpError& error);

// Whether `folder` is the `files` folder of a trash: $XDG_DATA_HOME/Trash, or a
// filesystem's $topdir/.Trash/$uid or $topdir/.Trash-$uid.
bool IsTrashFilesFolder(const QString& folder);
