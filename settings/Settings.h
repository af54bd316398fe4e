#pragma once

#include "settings/SettingsRules.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

// The settings record. One instance, IniRec, lives for the whole process; it
// is zero at start, filled by LoadSettings and written by SaveSettings.
// Flags are written as 0 or 1 by every command; a value read from the file is
// kept unchanged (7 stays 7) and each reader applies its own test.
struct TIniRec {
    QString CurrentPath;     // folder shown in the file list; reopened at start
    QString SpecifyFolder;   // folder opened at start when StartMode = 1
    qint32 StartMode = 0;    // 0: reopen the last folder; 1: open SpecifyFolder
    qint32 Tree = 0;         // 1: tree pane shown
    qint32 OutFolButton = 0; // 1: output button pane shown
    qint32 DispSize = 0;     // 0: actual size; 1: fitted to the window
    qint32 Move = 0;         // 1: ask before moving
    qint32 OverWrite = 0;    // 1: ask before overwriting
    qint32 Delete = 0;       // 1: ask before deleting
    qint32 Trash = 0;        // 1: delete into the trash; 0: for good
    qint32 Proportional = 0; // 1: keep the aspect ratio when fitting
    qint32 Zoom = 0;         // 1: never enlarge a small picture when fitting
    qint32 Save = 0;         // 1: save the window's position, size and state
    qint32 Mode = 0;         // 0: copy mode; 1: move mode
    qint32 FileName = 0;     // 1: status bar shows the full path
    qint32 Clash = 0;        // a name taken in the output folder: 1 keep both, 2 skip, else ask
    qint32 KeepZoom = 0;     // 1: the next picture of the same size keeps the zoom and its place
    // The picture on show at close (its full path); at start, the picture
    // the start folder opens on when it is listed there.
    QString CurrentFile;
};

// One output folder slot: the caption of its button and its target folder.
// A slot is in use for its button when Path is not empty.
struct TOutFolderRec {
    QString Title;
    QString Path;
};

constexpr int OutFolderCount = 10;

extern TIniRec IniRec;
// Slot k (1..10) is OutFolders[k-1]: button spbNo(k-1), digit key k-1,
// keys Title(k-1) and Path(k-1) of the [PATH] section.
extern TOutFolderRec OutFolders[OutFolderCount];

// What the settings load and save need from the main window: its geometry,
// pane sizes, tool bar positions and command line. The main window implements
// it; the settings layer knows nothing else of the window.
class TSettingsWindow {
public:
    virtual ~TSettingsWindow() = default;

    // Window position and size (frame geometry, screen coordinates).
    virtual int Top() const = 0;
    virtual void SetTop(int value) = 0;
    virtual int Left() const = 0;
    virtual void SetLeft(int value) = 0;
    virtual int Width() const = 0;
    virtual void SetWidth(int value) = 0;
    virtual int Height() const = 0;
    virtual void SetHeight(int value) = 0;
    virtual TWindowState WindowState() const = 0;
    virtual void SetWindowState(TWindowState state) = 0;
    // The size of the screen the window is centred on.
    virtual QSize ScreenSize() const = 0;

    // Width of the left pane pnlLeft (the loaded SplMain).
    virtual void SetPnlLeftWidth(int value) = 0;
    // Height of the tree pane pnlLeftTop (the loaded SplLeft).
    virtual void SetPnlLeftTopHeight(int value) = 0;
    // Left edge of the splitter splMain (the tree pane's width).
    virtual int SplMainLeft() const = 0;
    // Top edge of the splitter splLeft (the tree pane's height).
    virtual int SplLeftTop() const = 0;

    // Positions of the two tool bars inside the tool bar strip.
    virtual int TlbActionTop() const = 0;
    virtual void SetTlbActionTop(int value) = 0;
    virtual int TlbActionLeft() const = 0;
    virtual void SetTlbActionLeft(int value) = 0;
    virtual int TlbMainTop() const = 0;
    virtual void SetTlbMainTop(int value) = 0;
    virtual int TlbMainLeft() const = 0;
    virtual void SetTlbMainLeft(int value) = 0;

    // The tree pane width kept while the pane is hidden.
    virtual int SplMainPos() const = 0;
    virtual void SetSplMainPos(int value) = 0;

    // The command-line arguments after the program's name.
    virtual QStringList Arguments() const = 0;
};

// Reads the whole settings file into IniRec, OutFolders and the window, in
// the fixed order of its keys, and works out the start folder.
void LoadSettings(TSettingsWindow& window);
// The start folder rule of LoadSettings on its own: IniRec.CurrentPath from
// the command-line arguments (or, without any, from StartMode), then dropped
// when its drive is not ready; IniRec.CurrentFile then follows StartPicture.
// Also used for an argument handed over by a later start.
void SetStartFolder(const QStringList& args);
// Writes IniRec, OutFolders and the window's layout back. A key that cannot
// be written raises EIniWriteError ("<path> に書き込めません") and ends the
// save at that key; the caller then keeps the window open.
void SaveSettings(const TSettingsWindow& window);
// Removes keys and the section that earlier versions wrote.
void DeleteOldSettings();

// The value stored in the file for a number key of the settings, or the
// default LoadSettings gives it when the file, the key or a number is
// missing: for what is needed before the window loads its settings.
// Raises std::invalid_argument for a key that is not a number key.
int StoredSetting(const QString& section, const QString& key);

// Full path of Velmo.ini, worked out again for every operation (see
// IniFileLocation in SettingsRules.h).
QString IniFileName();
