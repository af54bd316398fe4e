// The file list: which files are pictures, the folder scan, and moving
// through the list.
#include "app/Main.h"

#include "app/DispExt.h"
#include "app/FileListDelegate.h"
#include "app/MainRules.h"
#include "app/Preloader.h"
#include "history/FileGroups.h"
#include "platform/Common.h"
#include "platform/DirectoryList.h"
#include "platform/Exceptions.h"
#include "platform/FileAccess.h"
#include "platform/FileName.h"
#include "platform/MessageBox.h"
#include "settings/Settings.h"
#include "shelltree/ShellCtrls.h"
#include "spi/SPIs.h"
#include "toolkit/Busy.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QLabel>
#include <QListWidget>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace {
// Measures names in the list's font from a cache of character widths, so a
// folder of many thousand files is measured in a blink.
class TNameWidths {
public:
    explicit TNameWidths(const QFontMetrics& metrics)
        : Metrics(metrics), Cache(std::make_unique<std::array<qint16, 65536>>()) {
        Cache->fill(-1);
    }
    int Width(const QString& name) {
        int width = 0;
        for (QChar c : name) {
            qint16& w = (*Cache)[c.unicode()];
            if (w < 0)
                w = qint16(qBound(0, Metrics.horizontalAdvance(c), 32767));
            width += w;
        }
        return width;
    }

private:
    QFontMetrics Metrics;
    std::unique_ptr<std::array<qint16, 65536>> Cache;
};

// Sorts names as the list shows them: without regard to case, then by case.
// The folded keys are made once, so each comparison is a plain one.
void SortNames(std::vector<QString>& names) {
    struct TKeyed {
        QString Key;
        QString Name;
    };
    std::vector<TKeyed> keyed;
    keyed.reserve(names.size());
    for (QString& name : names)
        keyed.push_back({name.toCaseFolded(), std::move(name)});
    std::sort(keyed.begin(), keyed.end(), [](const TKeyed& a, const TKeyed& b) {
        const int c = QStringView(a.Key).compare(QStringView(b.Key));
        return c != 0 ? c < 0 : a.Name < b.Name;
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        names[i] = std::move(keyed[i].Name);
}
} // namespace

void TfrmVelmo::BuildDispExt() {
    std::vector<QStringList> pluginExtensions;
    if (SPIs1) {
        for (int i = 0; i < SPIs1->PluginCount(); ++i)
            pluginExtensions.push_back(SPIs1->Plugins(i)->Extensions());
    }
    BuildDispExtFrom(pluginExtensions);
}

int TfrmVelmo::ScanFolder(const QString& folder) {
    TGate gate(*this);
    TBusyCursor busy;
    ProcessMessages();
    // Pictures decoded ahead belong to the list that goes now.
    Preload->Clear();
    lstFile->clear();
    // Until the scan has ended, nothing is listed to move through.
    LastIndex = -1;
    int count = 0;
    int widest = 0;
    std::vector<QString> names;
    QHash<QString, QStringList> companions;
    WatchFolder(QString());
    if (!IniRec.CurrentPath.isEmpty() && IsDriveReady(IniRec.CurrentPath)) {
        WatchFolder(folder);
        TNameWidths widths(lstFile->fontMetrics());
        QElapsedTimer sinceMessages;
        sinceMessages.start();
        // Before the extensions are known (the scans made while the window is
        // created) nothing can be listed: the folder is not read on.
        const bool any = std::any_of(DispExt.begin(), DispExt.end(),
                                     [](const TDispExt& e) { return e.Enabled; });
        ForEachDirectoryEntry(folder, [&](const QString& name, bool isDirectory) {
            if (!any)
                return false;
            // Raw files, clips and sidecars are read too: they may travel
            // with a picture.
            if (!isDirectory && (IsDispExt(ExtractFileExt(name)) || GroupCandidate(name)))
                names.push_back(name);
            // Pending messages run often enough for the window to stay alive;
            // a folder picked in the tree meanwhile ends this scan, and is
            // opened once the window is free.
            if (sinceMessages.elapsed() >= 25) {
                ProcessMessages();
                sinceMessages.restart();
                if (FolderChangePending)
                    return false;
            }
            return true;
        });
        if (FolderChangePending)
            throw EAbort(QStringLiteral("scan superseded"));
        GroupNames(folder, names, companions);
        SortNames(names);
        count = int(names.size());
        for (const QString& name : names) {
            const auto c = companions.constFind(name);
            widest = std::max(widest, widths.Width(DisplayPath(
                                          c == companions.cend() ? name : GroupLabel(name, *c))));
        }
    }
    {
        QSignalBlocker quiet(lstFile);
        QStringList items;
        items.reserve(qsizetype(names.size()));
        for (QString& name : names)
            items.append(std::move(name));
        lstFile->addItems(items);
        // Names that are not UTF-8 are shown decoded and keep their bytes.
        for (int i = 0; i < lstFile->count(); ++i) {
            QListWidgetItem* item = lstFile->item(i);
            const QString name = item->text();
            if (!companions.isEmpty())
                SetFileItemCompanions(item, companions.value(name));
            if (HasRawBytes(name))
                SetFileItemName(item, name);
        }
    }
    ListExtent = widest + 4;
    lstFile->doItemsLayout();
    staPanels[0]->setText(FileCountText(count));
    return count - 1;
}

void TfrmVelmo::OpenFolder(const QString& folder, const QString& picture) {
    LastIndex = ScanFolder(folder);
    if (LastIndex >= 0) {
        int first = 0;
        for (int i = 0; !picture.isEmpty() && i <= LastIndex; ++i)
            if (PicturePath(i) == picture) {
                first = i;
                break;
            }
        SelectIndex(first);
        ShowPicture(first);
    } else {
        ShowPicture(-1);
    }
    ListOpened();
    UpdateDeleteAction();
}

void TfrmVelmo::lstFileClick() {
    Command([this] {
        const int s = SelectedIndex();
        if (s == ShownIndex)
            return;
        ShowPicture(s);
        UpdateDeleteAction();
    });
}

void TfrmVelmo::actPrevExecute() {
    Command([this] {
        const int s = SelectedIndex();
        if (s > 0) {
            SelectIndex(s - 1);
            ShowPicture(s - 1);
        }
    });
}

void TfrmVelmo::actNextExecute() {
    Command([this] {
        const int s = SelectedIndex();
        if (s < LastIndex) {
            SelectIndex(s + 1);
            ShowPicture(s + 1);
        }
    });
}

void TfrmVelmo::actReNewExecute() {
    Command([this] {
        stvMain->Repaint();
        OpenFolder(IniRec.CurrentPath);
    });
}

void TfrmVelmo::stvMainChange() {
    // The list always shows the tree's folder: one picked while the window
    // is busy is opened as soon as it is free.
    if (Busy()) {
        FolderChangePending = true;
        return;
    }
    FolderChangePending = false;
    Command([this] {
        IniRec.CurrentPath = stvMain->SelectedPath();
        OpenFolder(IniRec.CurrentPath);
    });
}

void TfrmVelmo::OpenStartArgument(const QString& argument) {
    // Handed over while a step runs or a dialog waits for an answer: opened
    // once that is over.
    if (Busy() || QApplication::activeModalWidget()) {
        QTimer::singleShot(50, this, [this, argument] { OpenStartArgument(argument); });
        return;
    }
    Command([this, argument] {
        TellIfMissing(argument);
        SetStartFolder({argument});
        {
            // The tree follows without its change event; the folder is opened
            // once, below. Only that event is held back: the folders opened on
            // the way are read and watched as a click would have them.
            disconnect(stvMain, &TShellTreeView::Change, this, &TfrmVelmo::stvMainChange);
            const auto reconnect = qScopeGuard([this] {
                connect(stvMain, &TShellTreeView::Change, this, &TfrmVelmo::stvMainChange);
            });
            stvMain->SelectPath(IniRec.CurrentPath);
        }
        OpenFolder(IniRec.CurrentPath, IniRec.CurrentFile);
        UpdateDeleteAction();
    });
}

void TfrmVelmo::TellIfMissing(const QString& argument) {
    if (!argument.isEmpty() && !FileFacts(argument).Exists)
        ShowPluginNotice(QStringLiteral("見つかりません: ") + DisplayPath(argument));
}

void TfrmVelmo::UpdateDeleteAction() {
    actDelete->setEnabled(SelectedIndex() != -1);
}

int TfrmVelmo::SelectedIndex() const {
    const QList<QListWidgetItem*> selected = lstFile->selectedItems();
    return selected.isEmpty() ? -1 : lstFile->row(selected.front());
}

void TfrmVelmo::SelectIndex(int index) {
    QSignalBlocker quiet(lstFile);
    if (index < 0 || index >= lstFile->count()) {
        lstFile->clearSelection();
        lstFile->setCurrentRow(-1);
        return;
    }
    lstFile->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    lstFile->scrollToItem(lstFile->item(index));
}

QString TfrmVelmo::SelectedText() const {
    const int s = SelectedIndex();
    return s < 0 ? QString() : FileItemName(lstFile->item(s));
}
