#pragma once

#include <QString>
#include <QStringList>

// Named sets of the twenty output folders, kept in Velmo.ini beside the
// settings: section FOLDERSET<n> (n from 1) holds Name and the slots' Title<k>
// and Path<k> as [PATH] holds them; section FOLDERSETUSE remembers, as
// Folder<n> and Set<n>, the set used last for each source folder.

QStringList FolderSetNames();
// Keeps OutFolders as the named set, replacing a set of that name.
void SaveFolderSet(const QString& name);
// Puts the named set into OutFolders; false when there is no such set.
bool LoadFolderSet(const QString& name);
// The set used last for a source folder (empty: none), and remembering it.
QString FolderSetFor(const QString& folder);
void RememberFolderSet(const QString& folder, const QString& name);
