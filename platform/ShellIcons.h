#pragma once

#include "platform/ShellIDList.h"

#include <QIcon>

// The shared small-icon list: the index of an item's closed or open icon,
// and the icon at an index (a null icon for -1).
int SystemIconIndex(const ItemIDList& absolute, bool open);
QIcon SystemIcon(int index);
// Reads the icons from the theme again when next asked (the theme changed).
void ReloadSystemIcons();
// The emblem drawn over a symbolic link's icon.
QIcon LinkOverlayIcon();
