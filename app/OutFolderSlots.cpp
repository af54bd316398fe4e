#include "app/OutFolderSlots.h"
#include "app/MainRules.h"

int SlotForKey(int qtKey, quint32 nativeScanCode, Qt::KeyboardModifiers modifiers) {
    const int d = DigitForKey(qtKey, nativeScanCode, modifiers);
    if (d < 0)
        return -1;
    return (modifiers & Qt::ShiftModifier) ? d + OutFolderRowSize : d;
}

bool OutFolderRowInUse(int row) {
    if (row == 0)
        return true;
    for (int n = row * OutFolderRowSize; n < (row + 1) * OutFolderRowSize && n < OutFolderCount;
         ++n)
        if (!OutFolders[n].Path.isEmpty())
            return true;
    return false;
}

int OutFolButtonPaneWidth() {
    int rows = 0;
    for (int r = 0; r * OutFolderRowSize < OutFolderCount; ++r)
        if (OutFolderRowInUse(r))
            rows = r + 1;
    return rows * OutFolButtonWidth;
}
