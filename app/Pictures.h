#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

// The program's own pictures, drawn in code: the ten tool-bar images, the
// glyphs of the ten output-folder buttons and the program icon.

// Tool-bar images by index: 0 previous, 1 next, 2 copy mode, 3 move mode,
// 4 exit, 5 options, 6 help, 7 delete, 8 tree pane, 9 button pane.
constexpr int ToolBarImageCount = 10;
constexpr int PictureSize = 16;

// One image at 16 x 16 logical pixels; scale 2 gives the 32 x 32 HiDPI
// version (device pixel ratio 2). An index out of range gives a transparent
// image.
QImage DrawToolBarImage(int index, int scale = 1);
QIcon ToolBarIcon(int index);

// The glyph of output-folder button k (digit 0..9): a yellow folder with the
// black digit over it.
QImage DrawOutFolderGlyph(int digit, int scale = 1);
QIcon OutFolderGlyph(int digit);

// The program icon at any size (drawn); the sizes it is shipped in as
// compiled-in resources, and the resource path of one of them.
QImage DrawProgramIcon(int size);
inline constexpr int ProgramIconSizes[] = {16, 32, 48, 256};
QString ProgramIconResource(int size);
// The program icon from the compiled-in resources (all shipped sizes).
QIcon ProgramIcon();
// One size of it as a pixmap, e.g. for the version dialog.
QPixmap ProgramIconPixmap(int size);
