#pragma once

#include "platform/FileOperation.h"
#include "shelltree/ShellDrop.h"

#include <vector>

class QWidget;

// Moves, copies or links dropped items into `folder` (or moves them into the
// trash) for the window `owner`. Every file goes through the file service, one
// at a time, so each is either whole in its new place or still in its old
// one; a folder is taken apart only once all it held has gone. An existing
// file (or one of the drop's own of the same name) is replaced only when the
// user says so; a file where a folder would go (or the other way round) is
// left. An item that fails does not stop the others: the failures are told
// at the end, together in one box. Shows progress.
TFileOpResult RunDropWork(QWidget* owner, Qt::DropAction effect,
                          const std::vector<TDragSource>& sources, const QString& folder,
                          bool trash);
