#include "settings/Settings.h"
#include "platform/PlatformServices.h"
#include "platform/FileName.h"

#include "platform/Common.h"
#include "settings/IniAccess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

TIniRec IniRec;
TOutFolderRec OutFolders[OutFolderCount];

namespace {

const QString secWindow = QStringLiteral("WINDOW");
const QString secSetting = QStringLiteral("SETTING");
const QString secPath = QStringLiteral("PATH");
const QString secAction = QStringLiteral("ACTION");
const QString secOther = QStringLiteral("OTHER");
const QString secVersion = QStringLiteral("VERSION");
const QString iniVersion = QStringLiteral("1.03");

// LoadSettings drops a start folder whose medium cannot be read.
bool DriveReady(const QString& path) {
    return Platform()->MediumReady(path);
}

QString ExecutableDir() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

QString TitleKey(int slot) {
    return QStringLiteral("Title%1").arg(slot);
}
QString PathKey(int slot) {
    return QStringLiteral("Path%1").arg(slot);
}

// The working folder, its name's bytes kept.
QString WorkingFolder() {
    char* cwd = ::getcwd(nullptr, 0);
    const QString folder = cwd ? PathFromBytes(cwd) : QDir::currentPath();
    ::free(cwd);
    return folder;
}
} // namespace

QString IniFileName() {
    const QString exeDir = ExecutableDir();
    const QByteArray exe = PathToBytes(exeDir);
    // A copy run from the folder it was installed to keeps its settings per
    // user, even where that folder can be written (as root).
    const QString installDir = QFileInfo(QStringLiteral(VELMO_BIN_DIR)).canonicalFilePath();
    return IniFileLocation(qEnvironmentVariable("VELMO_INI_DIR"), exeDir,
                           !installDir.isEmpty() && installDir == exeDir,
                           QFileInfo::exists(QDir(exeDir).filePath(QStringLiteral("Velmo.ini"))),
                           ::access(exe.constData(), W_OK) == 0,
                           qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath());
}

void LoadSettings(TSettingsWindow& window) {
    const QString ini = IniFileName();

    window.SetTop(IniReadInteger(ini, secWindow, QStringLiteral("Top"), 0));
    window.SetLeft(IniReadInteger(ini, secWindow, QStringLiteral("Left"), 0));
    window.SetWidth(IniReadInteger(ini, secWindow, QStringLiteral("Width"), 800));
    window.SetHeight(IniReadInteger(ini, secWindow, QStringLiteral("Height"), 600));
    const int state = IniReadInteger(ini, secWindow, QStringLiteral("State"), 1);
    const int splMain = IniReadInteger(ini, secWindow, QStringLiteral("SplMain"), 200);
    window.SetPnlLeftWidth(splMain);
    window.SetPnlLeftTopHeight(IniReadInteger(ini, secWindow, QStringLiteral("SplLeft"), 250));
    window.SetTlbActionTop(IniReadInteger(ini, secSetting, QStringLiteral("TlbActTop"), 2));
    window.SetTlbActionLeft(IniReadInteger(ini, secSetting, QStringLiteral("TlbActLeft"), 11));
    window.SetTlbMainTop(IniReadInteger(ini, secSetting, QStringLiteral("TlbMainTop"), 2));
    window.SetTlbMainLeft(IniReadInteger(ini, secSetting, QStringLiteral("TlbMainLeft"), 125));

    const QSize screen = window.ScreenSize();
    if (window.Top() == 0)
        window.SetTop(CentredPosition(screen.height(), window.Height()));
    if (window.Left() == 0)
        window.SetLeft(CentredPosition(screen.width(), window.Width()));

    TWindowState ws;
    if (WindowStateFromNumber(state, ws))
        window.SetWindowState(ws);

    // The splitter's left edge is the pane width just loaded.
    window.SetSplMainPos(splMain);

    IniRec.Tree = IniReadInteger(ini, secSetting, QStringLiteral("Tree"), 1);
    IniRec.OutFolButton = IniReadInteger(ini, secSetting, QStringLiteral("OutFolButton"), 1);

    for (int n = 0; n < OutFolderCount; ++n) {
        OutFolders[n].Title = IniReadString(ini, secPath, TitleKey(n), QString());
        OutFolders[n].Path = IniReadString(ini, secPath, PathKey(n), QString());
    }

    IniRec.CurrentPath =
        PathFromIniValue(IniReadString(ini, secPath, QStringLiteral("CurrentPath"), QString()));
    IniRec.SpecifyFolder = IniReadString(ini, secPath, QStringLiteral("SpecifyFolder"), QString());
    IniRec.StartMode = IniReadInteger(ini, secPath, QStringLiteral("StartMode"), 0);

    SetStartFolder(window.Arguments());

    IniRec.DispSize = IniReadInteger(ini, secAction, QStringLiteral("DispSize"), 0);
    IniRec.Move = IniReadInteger(ini, secAction, QStringLiteral("Move"), 1);
    IniRec.OverWrite = IniReadInteger(ini, secAction, QStringLiteral("OverWrite"), 1);
    IniRec.Delete = IniReadInteger(ini, secAction, QStringLiteral("Delete"), 1);
    IniRec.Trash = IniReadInteger(ini, secAction, QStringLiteral("Trash"), 1);
    IniRec.Proportional = IniReadInteger(ini, secAction, QStringLiteral("Proportional"), 1);
    IniRec.Zoom = IniReadInteger(ini, secAction, QStringLiteral("Zoom"), 0);
    IniRec.Save = IniReadInteger(ini, secAction, QStringLiteral("Save"), 1);
    IniRec.Mode = IniReadInteger(ini, secAction, QStringLiteral("Mode"), 0);
    IniRec.FileName = IniReadInteger(ini, secOther, QStringLiteral("FileName"), 1);
}

void SetStartFolder(const QStringList& args) {
    IniRec.CurrentPath = StartFolder(args, IniRec.CurrentPath, IniRec.SpecifyFolder,
                                     IniRec.StartMode, WorkingFolder());

    if (!IniRec.CurrentPath.isEmpty() && !DriveReady(IniRec.CurrentPath))
        IniRec.CurrentPath.clear();
}

void SaveSettings(const TSettingsWindow& window) {
    const QString ini = IniFileName();

    if (IniRec.Save == 1) {
        const TWindowState ws = window.WindowState();
        if (ws == wsNormal) {
            IniWriteInteger(ini, secWindow, QStringLiteral("Top"), window.Top());
            IniWriteInteger(ini, secWindow, QStringLiteral("Left"), window.Left());
            IniWriteInteger(ini, secWindow, QStringLiteral("Width"), window.Width());
            IniWriteInteger(ini, secWindow, QStringLiteral("Height"), window.Height());
            IniWriteInteger(ini, secWindow, QStringLiteral("SplMain"),
                            IniRec.Tree != 0 ? window.SplMainLeft() : window.SplMainPos());
            IniWriteInteger(ini, secWindow, QStringLiteral("SplLeft"), window.SplLeftTop());
        }
        IniWriteInteger(ini, secWindow, QStringLiteral("State"), WindowStateNumber(ws));
    }

    IniWriteInteger(ini, secSetting, QStringLiteral("TlbActTop"), window.TlbActionTop());
    IniWriteInteger(ini, secSetting, QStringLiteral("TlbActLeft"), window.TlbActionLeft());
    IniWriteInteger(ini, secSetting, QStringLiteral("TlbMainTop"), window.TlbMainTop());
    IniWriteInteger(ini, secSetting, QStringLiteral("TlbMainLeft"), window.TlbMainLeft());
    IniWriteInteger(ini, secSetting, QStringLiteral("Tree"), IniRec.Tree);
    IniWriteInteger(ini, secSetting, QStringLiteral("OutFolButton"), IniRec.OutFolButton);

    for (int n = 0; n < OutFolderCount; ++n) {
        IniWriteString(ini, secPath, TitleKey(n), OutFolders[n].Title);
        IniWriteString(ini, secPath, PathKey(n), OutFolders[n].Path);
    }

    IniWriteString(ini, secPath, QStringLiteral("CurrentPath"), PathToIniValue(IniRec.CurrentPath));
    IniWriteInteger(ini, secPath, QStringLiteral("StartMode"), IniRec.StartMode);
    IniWriteString(ini, secPath, QStringLiteral("SpecifyFolder"), IniRec.SpecifyFolder);

    IniWriteInteger(ini, secAction, QStringLiteral("DispSize"), IniRec.DispSize);
    IniWriteInteger(ini, secAction, QStringLiteral("Move"), IniRec.Move);
    IniWriteInteger(ini, secAction, QStringLiteral("OverWrite"), IniRec.OverWrite);
    IniWriteInteger(ini, secAction, QStringLiteral("Delete"), IniRec.Delete);
    IniWriteInteger(ini, secAction, QStringLiteral("Trash"), IniRec.Trash);
    IniWriteInteger(ini, secAction, QStringLiteral("Proportional"), IniRec.Proportional);
    IniWriteInteger(ini, secAction, QStringLiteral("Zoom"), IniRec.Zoom);
    IniWriteInteger(ini, secAction, QStringLiteral("Save"), IniRec.Save);
    IniWriteInteger(ini, secAction, QStringLiteral("Mode"), IniRec.Mode);

    IniWriteInteger(ini, secOther, QStringLiteral("FileName"), IniRec.FileName);
    IniWriteString(ini, secOther, QStringLiteral("Version"), iniVersion);
}

void DeleteOldSettings() {
    const QString ini = IniFileName();
    IniDeleteKey(ini, secSetting, QStringLiteral("PnlFolTop"));
    IniDeleteKey(ini, secSetting, QStringLiteral("TlbFolLeft"));
    IniDeleteKey(ini, secPath, QStringLiteral("OutFolder"));
    IniDeleteKey(ini, secVersion, QStringLiteral("Ver"));
    IniEraseSection(ini, secVersion);
}
