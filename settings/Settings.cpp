#include "settings/Settings.h"
#include "platform/FileName.h"
#include "platform/PlatformServices.h"

#include "platform/Common.h"
#include "settings/IniAccess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <stdexcept>
#include <unistd.h>
#include <vector>

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

namespace {

// How a key's value is kept; most keys plainly hold the number or text of
// their field.
enum class TKeyKind {
    Plain,
    Folder,    // a folder, kept as a file URL when its name needs one
    TreeWidth, // SplMain: the left pane's width
    State,     // the window state, set once the window has its place
    Version,   // the version of the file's layout, only ever written
};

// When a key is written: always, while IniRec.Save is 1, or while it is 1
// and the window is neither maximized nor minimized.
enum TWriteWhen { wwAlways, wwSaved, wwSavedNormal };

using TWindowGet = int (TSettingsWindow::*)() const;
using TWindowSet = void (TSettingsWindow::*)(int);

// One key of the settings file and its field: a number or text of IniRec or
// OutFolders, or a number of the window through its getter and setter. A
// text that is missing reads as empty; a number falls back to Default.
struct TSettingKey {
    TSettingKey(const QString& s, QString k, int def, qint32* field)
        : Section(&s), Key(std::move(k)), Default(def), Number(field) {}
    TSettingKey(const QString& s, QString k, QString* field, TKeyKind kind = TKeyKind::Plain)
        : Section(&s), Key(std::move(k)), Kind(kind), Text(field) {}
    TSettingKey(const QString& s, QString k, int def, TWindowGet get, TWindowSet set,
                TWriteWhen when = wwAlways)
        : Section(&s), Key(std::move(k)), Default(def), When(when), Get(get), Set(set) {}
    TSettingKey(const QString& s, QString k, TKeyKind kind, int def = 0, TWriteWhen when = wwAlways)
        : Section(&s), Key(std::move(k)), Kind(kind), Default(def), When(when) {}

    const QString* Section;
    QString Key;
    TKeyKind Kind = TKeyKind::Plain;
    int Default = 0;
    TWriteWhen When = wwAlways;
    qint32* Number = nullptr;
    QString* Text = nullptr;
    TWindowGet Get = nullptr;
    TWindowSet Set = nullptr;
};

// Every key in the order it is written, which is its order in a new file.
// Loading goes through the same order.
const std::vector<TSettingKey>& SettingKeys() {
    using W = TSettingsWindow;
    using K = TKeyKind;
    static const std::vector<TSettingKey> keys = [] {
        std::vector<TSettingKey> k = {
            {secWindow, "Top", 0, &W::Top, &W::SetTop, wwSavedNormal},
            {secWindow, "Left", 0, &W::Left, &W::SetLeft, wwSavedNormal},
            {secWindow, "Width", 800, &W::Width, &W::SetWidth, wwSavedNormal},
            {secWindow, "Height", 600, &W::Height, &W::SetHeight, wwSavedNormal},
            {secWindow, "SplMain", K::TreeWidth, 200, wwSavedNormal},
            {secWindow, "SplLeft", 250, &W::SplLeftTop, &W::SetPnlLeftTopHeight, wwSavedNormal},
            {secWindow, "State", K::State, 1, wwSaved},
            {secSetting, "TlbActTop", 2, &W::TlbActionTop, &W::SetTlbActionTop},
            {secSetting, "TlbActLeft", 11, &W::TlbActionLeft, &W::SetTlbActionLeft},
            {secSetting, "TlbMainTop", 2, &W::TlbMainTop, &W::SetTlbMainTop},
            {secSetting, "TlbMainLeft", 125, &W::TlbMainLeft, &W::SetTlbMainLeft},
            {secSetting, "Tree", 1, &IniRec.Tree},
            {secSetting, "OutFolButton", 1, &IniRec.OutFolButton},
        };
        for (int n = 0; n < OutFolderCount; ++n) {
            k.emplace_back(secPath, TitleKey(n), &OutFolders[n].Title);
            k.emplace_back(secPath, PathKey(n), &OutFolders[n].Path, TKeyKind::Folder);
        }
        k.insert(k.end(), {
                              {secPath, "CurrentPath", &IniRec.CurrentPath, K::Folder},
                              {secPath, "CurrentFile", &IniRec.CurrentFile, K::Folder},
                              {secPath, "StartMode", 0, &IniRec.StartMode},
                              {secPath, "SpecifyFolder", &IniRec.SpecifyFolder, K::Folder},
                              {secAction, "DispSize", 0, &IniRec.DispSize},
                              {secAction, "Move", 1, &IniRec.Move},
                              {secAction, "OverWrite", 1, &IniRec.OverWrite},
                              {secAction, "Delete", 1, &IniRec.Delete},
                              {secAction, "Trash", 1, &IniRec.Trash},
                              {secAction, "Proportional", 1, &IniRec.Proportional},
                              {secAction, "Zoom", 0, &IniRec.Zoom},
                              {secAction, "Save", 1, &IniRec.Save},
                              {secAction, "Mode", 0, &IniRec.Mode},
                              {secAction, "Clash", 0, &IniRec.Clash},
                              {secAction, "KeepZoom", 1, &IniRec.KeepZoom},
                              {secOther, "FileName", 1, &IniRec.FileName},
                              {secOther, "Version", K::Version},
                          });
        return k;
    }();
    return keys;
}

} // namespace

void LoadSettings(TSettingsWindow& window) {
    const QString ini = IniFileName();

    int state = 1;
    int splMain = 200;
    for (const TSettingKey& k : SettingKeys()) {
        const auto number = [&] { return IniReadInteger(ini, *k.Section, k.Key, k.Default); };
        const auto text = [&] { return IniReadString(ini, *k.Section, k.Key, QString()); };
        switch (k.Kind) {
        case TKeyKind::Plain:
            if (k.Number)
                *k.Number = number();
            else if (k.Text)
                *k.Text = text();
            else
                (window.*k.Set)(number());
            break;
        case TKeyKind::Folder:
            *k.Text = PathFromIniValue(text());
            break;
        case TKeyKind::TreeWidth:
            splMain = number();
            window.SetPnlLeftWidth(splMain);
            break;
        case TKeyKind::State:
            state = number();
            break;
        case TKeyKind::Version:
            break;
        }
    }

    // The window gets its place once every key is read.
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

    SetStartFolder(window.Arguments());
}

void SetStartFolder(const QStringList& args) {
    const QString workDir = WorkingFolder();
    IniRec.CurrentPath =
        StartFolder(args, IniRec.CurrentPath, IniRec.SpecifyFolder, IniRec.StartMode, workDir);

    if (!IniRec.CurrentPath.isEmpty() && !DriveReady(IniRec.CurrentPath))
        IniRec.CurrentPath.clear();
    IniRec.CurrentFile = StartPicture(args, IniRec.CurrentFile, IniRec.CurrentPath, workDir);
}

void SaveSettings(const TSettingsWindow& window) {
    const QString ini = IniFileName();

    const TWindowState ws = window.WindowState();
    for (const TSettingKey& k : SettingKeys()) {
        if (k.When != wwAlways && (IniRec.Save != 1 || (k.When == wwSavedNormal && ws != wsNormal)))
            continue;
        const auto number = [&](int value) { IniWriteInteger(ini, *k.Section, k.Key, value); };
        const auto text = [&](const QString& value) {
            IniWriteString(ini, *k.Section, k.Key, value);
        };
        switch (k.Kind) {
        case TKeyKind::Plain:
            if (k.Number)
                number(*k.Number);
            else if (k.Text)
                text(*k.Text);
            else
                number((window.*k.Get)());
            break;
        case TKeyKind::Folder:
            text(PathToIniValue(*k.Text));
            break;
        case TKeyKind::TreeWidth:
            number(IniRec.Tree != 0 ? window.SplMainLeft() : window.SplMainPos());
            break;
        case TKeyKind::State:
            number(WindowStateNumber(ws));
            break;
        case TKeyKind::Version:
            text(iniVersion);
            break;
        }
    }
}

void DeleteOldSettings() {
    const QString ini = IniFileName();
    IniDeleteKey(ini, secSetting, QStringLiteral("PnlFolTop"));
    IniDeleteKey(ini, secSetting, QStringLiteral("TlbFolLeft"));
    IniDeleteKey(ini, secPath, QStringLiteral("OutFolder"));
    IniDeleteKey(ini, secVersion, QStringLiteral("Ver"));
    IniEraseSection(ini, secVersion);
}

int StoredSetting(const QString& section, const QString& key) {
    for (const TSettingKey& k : SettingKeys()) {
        const bool number =
            k.Number || k.Get || k.Kind == TKeyKind::TreeWidth || k.Kind == TKeyKind::State;
        if (number && k.Section->compare(section, Qt::CaseInsensitive) == 0 &&
            k.Key.compare(key, Qt::CaseInsensitive) == 0)
            return IniReadInteger(IniFileName(), *k.Section, k.Key, k.Default);
    }
    throw std::invalid_argument("not a number key of the settings: " +
                                (section + QLatin1Char('/') + key).toStdString());
}
