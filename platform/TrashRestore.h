#pragma once

#include "platform/FileOperation.h"

class QWidget;

// The place a trashed file came from, as its .trashinfo names it; empty when
// `pathInTrash` is not a file of a trash or its info cannot be read.
QString TrashedFileOrigin(const QString& pathInTrash);

// Puts the trashed file `pathInTrash`, which came from `original` as its
// .trashinfo must say, back at `destination` and removes the .trashinfo. It
// never replaces anything: a taken place fails with EEXIST. A missing folder
// on the way is made. Fills `error` on failure.
TFileOpResult RestoreFromTrash(const QString& pathInTrash, const QString& original,
                               const QString& destination, TFileOpContext& context,
                               TFileOpError& error);

// The same for the window `owner`, with the file service's progress and errors.
TFileOpResult ShellRestoreFromTrash(QWidget* owner, const QString& pathInTrash,
                                    const QString& original, const QString& destination);
