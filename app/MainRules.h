#pragma once

#include "platform/FileNameRules.h"

#include <QDateTime>
#include <QKeySequence>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <Qt>

// The small rules of the main window, kept apart from its widgets so they can
// be checked directly.

// A file's path inside a folder: folder + "/" + name, exactly as joined.
QString JoinPath(const QString& folder, const QString& name);

// The name part of a path (after the last "/").
QString ExtractFileName(const QString& path);

// The extensions one plug-in pattern line adds ("*.MAG;*.mki" gives ".mag",
// ".mki"): cut at ";", drop each piece's first character, lower-case A to Z.
QStringList ExtensionsFromPatternLine(const QString& line);

// Status panel texts.
QString FileCountText(int count);                 // "12 Files"
QString PictureSizeText(int width, int height);   // "640 x 480"
QString FileSizeText(qint64 bytes);               // "1023 Byte", "1 KB"
QString FileDateText(const QDateTime& lastWrite); // short date + blank + long time
QString FileNamePanelText(const QString& path, int fileNameSetting);

// The window caption for a mode (0 copy, else move).
QString ModeCaption(int mode);

// The size of a picture stretched into the scroll box with its proportions
// kept, with the 32-bit ratio and the 4-pixel margin of the layout.
QSize ProportionalStretchSize(int boxWidth, int boxHeight, int pictureWidth, int pictureHeight);

// Which layout a picture gets when fitted: true for actual size.
bool FitShowsActualSize(int dispSize, int zoom, QSize picture, QSize box);

// The item to select after item k was taken out of the list, given the new
// index of the last item (-1 when the list is now empty).
int IndexAfterRemoval(int removed, int lastIndex);

// The output-folder digit (0..9) a key stands for, or -1. The physical key
// counts, as on a Windows keyboard's virtual-key codes: the main-row digit keys
// and the keypad digits, whatever the layout and whatever modifier is held.
int DigitForKey(int qtKey, quint32 nativeScanCode, Qt::KeyboardModifiers modifiers);

// The commands a picture viewer's keys stand for.
enum TViewerCommand { vcNone, vcPrev, vcNext, vcFirst, vcLast, vcDelete, vcFullScreen };

// The keys of a command, its first key the one the window's design gives:
// P, Left, Backspace; N, Right, Space; Home; End; D, Delete; F11.
QList<QKeySequence> ViewerKeys(TViewerCommand command);
// The command a key stands for when pressed without Ctrl, Alt or Meta (Shift
// and the keypad do not count), or vcNone.
TViewerCommand ViewerCommandForKey(int qtKey, Qt::KeyboardModifiers modifiers);
