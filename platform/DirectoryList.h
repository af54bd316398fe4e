#pragma once

#include <QString>
#include <functional>

// Reads a folder's entries in the order the file system returns them and
// calls onEntry for each one but "." and "..". A symbolic link counts as a
// folder when it leads to one. onEntry returns false to stop the listing.
// Returns false when the folder cannot be opened.
bool ForEachDirectoryEntry(
    const QString& folder,
    const std::function<bool(const QString& name, bool isDirectory)>& onEntry);
