#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

// The program's own icons, kept as SVG files in the compiled-in resources:
// the ten tool-bar images, the glyphs of the ten output-folder buttons and
// the program icon.

// Tool-bar images by index: 0 previous, 1 next, 2 copy mode, 3 move mode,
// 4 exit, 5 options, 6 help, 7 delete, 8 tree pane, 9 button pane.
constexpr int ToolBarImageCount = 10;
constexpr int PictureSize = 16;

// The resource path of a tool-bar image; empty for an index out of range.
QString ToolBarImageResource(int index);
// The tool-bar image as a scalable icon; null for an index out of range.
QIcon ToolBarIcon(int index);

// The glyph of output-folder button k (digit 0..9): a yellow folder with the
// black digit over it, at 16 x 16 logical pixels; scale 2 gives the 32 x 32
// HiDPI version. A digit out of range gives a transparent image.
QImage DrawOutFolderGlyph(int digit, int scale = 1);
QIcon OutFolderGlyph(int digit);

// The program icon, rendered from its one SVG at the sizes the desktop asks
// for most.
inline constexpr int ProgramIconSizes[] = {16, 32, 48, 256};
QIcon ProgramIcon();
// One size of it as a pixmap, e.g. for the version dialog.
QPixmap ProgramIconPixmap(int size);
