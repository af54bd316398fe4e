#pragma once

#include "settings/Settings.h"

#include <Qt>

// The output-folder buttons stand in rows of ten: the first row answers the
// digit keys, the second Shift and the same physical keys.

// The slot (0-based) a key sends to, or -1 when it is not an output-folder
// key. Digits are physical keys, so Shift picks the second row whatever the
// keyboard layout prints on them.
int SlotForKey(int qtKey, quint32 nativeScanCode, Qt::KeyboardModifiers modifiers);
// Whether a row (0 or 1) has a slot in use; the first row always shows.
bool OutFolderRowInUse(int row);
// Width of the output-folder pane with its rows in use.
int OutFolButtonPaneWidth();
constexpr int OutFolButtonWidth = 72;
constexpr int OutFolButtonHeight = 40;
