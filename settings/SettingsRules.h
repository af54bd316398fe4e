#pragma once

#include <QString>
#include <QStringList>

// Small rules of the settings load, kept apart from the file so that they can
// be checked directly.

// Where Velmo.ini lives. `overrideDir` (the VELMO_INI_DIR environment
// variable) wins when not empty. A copy run from the folder it was installed
// to (`installed`) keeps it in $XDG_CONFIG_HOME/velmo (~/.config/velmo when
// XDG_CONFIG_HOME is unset, empty or relative). Any other copy is portable:
// the file sits beside the program, unless that folder holds no Velmo.ini and
// cannot be written, when it goes to the same per-user folder.
QString IniFileLocation(const QString& overrideDir, const QString& exeDir, bool installed,
                        bool exeDirHasIni, bool exeDirWritable, const QString& xdgConfigHome,
                        const QString& home);

// The start folder of LoadSettings. `args` are the command-line arguments
// after the program's name; `current` and `specify` the CurrentPath and
// SpecifyFolder just read; `workDir` the working folder.
// - First argument naming an existing file (not a folder): that file's
//   folder (the root keeps its slash).
// - First argument naming nothing, in a folder that exists: that folder.
// - First argument otherwise (a folder or a missing path): the argument,
//   resolved against the working folder when it is relative.
// - No argument: SpecifyFolder when StartMode = 1, else CurrentPath.
// A relative result is resolved against the working folder.
QString StartFolder(const QStringList& args, const QString& current, const QString& specify,
                    int startMode, const QString& workDir);

// The picture the start folder opens on (a full path), or empty for its
// first picture. `stored` is the CurrentFile just read, `folder` the start
// folder StartFolder gave.
// - First argument naming an existing file (not a folder): that file.
// - Another first argument: none.
// - No argument: the stored picture when it lies in the start folder.
QString StartPicture(const QStringList& args, const QString& stored, const QString& folder,
                     const QString& workDir);

// The folder of a file's path: the text before its last slash, the root
// keeping its slash ("/pic.jpg" gives "/").
QString FolderOfFile(const QString& path);

// A path as it is kept in Velmo.ini, which stays UTF-8 throughout. A path
// whose name holds bytes that are not UTF-8 (see platform/FileName.h) is
// written as a file URL, "file://" and the path's bytes percent-encoded, so
// it reads back byte for byte; every other path is written as it is. An
// older reader takes the URL for a folder that does not exist and starts as
// it does without one; a plain path never starts with "file://".
QString PathToIniValue(const QString& path);
QString PathFromIniValue(const QString& value);

// Position that centres a window of `window` pixels on a screen of `screen`
// pixels: (screen - window) div 2, truncated toward zero, so a window larger
// than the screen gets a negative position.
int CentredPosition(int screen, int window);

enum TWindowState { wsNormal, wsMinimized, wsMaximized };

// The number SaveSettings writes for a window state: 1 normal, 2 minimised,
// 3 maximised (anything else counts as normal).
int WindowStateNumber(TWindowState state);
// The state LoadSettings applies for a stored number; false for a number
// outside 1..3, which leaves the window's state as it is.
bool WindowStateFromNumber(int number, TWindowState& state);
