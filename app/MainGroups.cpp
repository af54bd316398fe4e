// A picture and its companions (a RAW+JPEG pair, sidecars, the clip of a
// Live Photo) as one list item: the groups of a scanned folder, the group of
// the selected item, the marks the status bar shows, and the folder watched
// for companions that other programs add.
#include "app/Main.h"

#include "app/DispExt.h"
#include "app/FileListDelegate.h"
#include "app/MainRules.h"
#include "history/FileGroups.h"
#include "history/GroupSteps.h"
#include "platform/DirectoryList.h"
#include "platform/FileAccess.h"
#include "platform/FileName.h"
#include "platform/FileNameRules.h"
#include "settings/Settings.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QLabel>
#include <QListWidget>
#include <QTimer>

namespace {
TGroupRules GroupRulesNow() {
    return {IniRec.Group != 0, IniRec.GroupLead == 1};
}

bool Listed(const QString& name) {
    return IsDispExt(ExtractFileExt(name));
}
} // namespace

bool TfrmVelmo::GroupCandidate(const QString& name) {
    return IniRec.Group != 0 && MemberKindOf(name) != mkPicture;
}

void TfrmVelmo::GroupNames(const QString& folder, std::vector<QString>& names,
                           QHash<QString, QStringList>& companions) {
    if (IniRec.Group == 0)
        return;
    // A companion is a file: a folder or a dangling link of its name is not.
    std::erase_if(names, [&](const QString& n) {
        return MemberKindOf(n) != mkPicture && !FileFacts(JoinPath(folder, n)).IsFile;
    });
    std::vector<TFileGroup> groups = GroupFiles(names, GroupRulesNow(), Listed);
    names.clear();
    names.reserve(groups.size());
    for (TFileGroup& g : groups) {
        if (!g.Companions.isEmpty())
            companions.insert(g.Lead, std::move(g.Companions));
        names.push_back(std::move(g.Lead));
    }
}

TFileGroup TfrmVelmo::GroupAround(const QString& name) const {
    if (IniRec.Group == 0)
        return {Listed(name) ? name : QString(), {}};
    // The names that can share a stem with it: those it starts with.
    const qsizetype dot = name.indexOf(QLatin1Char('.'), 1);
    const QString prefix = dot < 0 ? name : name.left(dot);
    std::vector<QString> names;
    ForEachDirectoryEntry(IniRec.CurrentPath, [&](const QString& entry, bool isDirectory) {
        if (!isDirectory && entry.startsWith(prefix) && (Listed(entry) || GroupCandidate(entry)))
            names.push_back(entry);
        return true;
    });
    QHash<QString, QStringList> companions;
    GroupNames(IniRec.CurrentPath, names, companions);
    for (const QString& lead : names) {
        const QStringList others = companions.value(lead);
        if (lead == name || others.contains(name))
            return {lead, others};
    }
    return {};
}

QStringList TfrmVelmo::SelectedGroup() const {
    const int s = SelectedIndex();
    if (s < 0)
        return {};
    QStringList paths{JoinPath(IniRec.CurrentPath, FileItemName(lstFile->item(s)))};
    for (const QString& c : FileItemCompanions(lstFile->item(s)))
        paths << JoinPath(IniRec.CurrentPath, c);
    return paths;
}

QString TfrmVelmo::SelectedLabel() const {
    const int s = SelectedIndex();
    return s < 0 ? QString()
                 : GroupLabel(FileItemName(lstFile->item(s)), FileItemCompanions(lstFile->item(s)));
}

QString TfrmVelmo::CompanionMarkOf(int i) const {
    if (i < 0 || i >= lstFile->count())
        return {};
    const QListWidgetItem* item = lstFile->item(i);
    const QStringList companions = FileItemCompanions(item);
    staPanels[1]->setToolTip(DisplayPath(companions.join(QLatin1Char('\n'))));
    return companions.isEmpty()
               ? QString()
               : QLatin1Char(' ') + DisplayPath(CompanionMark(FileItemName(item), companions));
}

TGroupSteps& TfrmVelmo::GroupSteps() {
    FileSteps();
    Groups->Policy = Steps->Policy;
    Groups->AskBeforeOverwrite = Steps->AskBeforeOverwrite;
    return *Groups;
}

void TfrmVelmo::WatchFolder(const QString& folder) {
    if (!FolderWatch) {
        FolderWatch = new QFileSystemWatcher(this);
        FolderWatchDelay = new QTimer(this);
        FolderWatchDelay->setSingleShot(true);
        FolderWatchDelay->setInterval(400);
        connect(FolderWatch, &QFileSystemWatcher::directoryChanged, FolderWatchDelay,
                qOverload<>(&QTimer::start));
        connect(FolderWatchDelay, &QTimer::timeout, this, &TfrmVelmo::RefreshCompanions);
    }
    if (!FolderWatch->directories().isEmpty())
        FolderWatch->removePaths(FolderWatch->directories());
    // Only groups change with files coming and going: without them nothing
    // is watched.
    if (IniRec.Group != 0 && !folder.isEmpty())
        FolderWatch->addPath(folder);
}

void TfrmVelmo::RefreshCompanions() {
    if (Busy() || IniRec.Group == 0 || IniRec.CurrentPath.isEmpty()) {
        if (IniRec.Group != 0)
            FolderWatchDelay->start();
        return;
    }
    std::vector<QString> names;
    ForEachDirectoryEntry(IniRec.CurrentPath, [&](const QString& entry, bool isDirectory) {
        if (!isDirectory && (Listed(entry) || GroupCandidate(entry)))
            names.push_back(entry);
        return true;
    });
    QHash<QString, QStringList> companions;
    GroupNames(IniRec.CurrentPath, names, companions);
    // The listed items keep their places; only their companions follow.
    bool changed = false;
    for (int i = 0; i < lstFile->count(); ++i) {
        QListWidgetItem* item = lstFile->item(i);
        const QStringList now = companions.value(FileItemName(item));
        if (now != FileItemCompanions(item)) {
            SetFileItemCompanions(item, now);
            changed = true;
        }
    }
    if (changed && ShownIndex >= 0 && ShownIndex < lstFile->count())
        staPanels[1]->setText(
            DisplayPath(FileNamePanelText(PicturePath(ShownIndex), IniRec.FileName)) +
            CompanionMarkOf(ShownIndex));
}
