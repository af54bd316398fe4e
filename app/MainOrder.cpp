// The look and order of the file list: names or thumbnails; by name, or by
// the time the pictures were taken. The dates are read in the background
// after the folder's first picture shows; the list then settles once,
// keeping the picture on show.
#include "app/Main.h"

#include "app/FileListDelegate.h"
#include "app/Preloader.h"
#include "app/TakenReader.h"
#include "app/ThumbnailList.h"
#include "settings/FolderSets.h"
#include "settings/Settings.h"

#include <QAction>
#include <QActionGroup>
#include <QListWidget>
#include <QMenu>
#include <QSignalBlocker>
#include <QTimer>

#include <unordered_map>

void TfrmVelmo::CreateOrderMenu() {
    mnuView->addSeparator();
    actThumbnails = mnuView->addAction(QStringLiteral("サムネイル(&B)"));
    actThumbnails->setObjectName(QStringLiteral("actThumbnails"));
    actThumbnails->setCheckable(true);
    connect(actThumbnails, &QAction::triggered, this, [this](bool on) {
        IniRec.Thumbnails = on ? 1 : 0;
        if (Thumbs)
            Thumbs->SetShown(on);
        else
            ListOpened();
        if (SelectedIndex() >= 0)
            lstFile->scrollToItem(lstFile->item(SelectedIndex()));
    });
    auto* group = new QActionGroup(this);
    actOrderName = mnuView->addAction(QStringLiteral("名前順(&A)"));
    actOrderName->setObjectName(QStringLiteral("actOrderName"));
    actOrderTaken = mnuView->addAction(QStringLiteral("撮影日時順(&K)"));
    actOrderTaken->setObjectName(QStringLiteral("actOrderTaken"));
    for (QAction* a : {actOrderName, actOrderTaken}) {
        a->setCheckable(true);
        group->addAction(a);
    }
    actOrderName->setChecked(true);
    connect(actOrderName, &QAction::triggered, this, [this] { SetOrder(0); });
    connect(actOrderTaken, &QAction::triggered, this, [this] { SetOrder(1); });
    TakenReader = new TTakenReader(this, [this](const QString& folder, const QStringList& names,
                                                const std::vector<TTakenFacts>& facts) {
        ApplyTakenOrder(folder, names, facts);
    });
}

void TfrmVelmo::SetOrder(int order) {
    Command([this, order] {
        IniRec.Order = order;
        const int s = SelectedIndex();
        OpenFolder(IniRec.CurrentPath, s >= 0 ? PicturePath(s) : QString());
    });
    actOrderTaken->setChecked(IniRec.Order == 1);
    actOrderName->setChecked(IniRec.Order != 1);
}

bool TfrmVelmo::OrderSettled() const {
    return IniRec.Order != 1 || (!TakenReader->Running() && !TakenOrderPending);
}

void TfrmVelmo::ListOpened() {
    // The list exists only after the menus are made.
    if (!Thumbs)
        Thumbs = new TThumbnailList(lstFile, [this](int row) { return PicturePath(row); });
    Thumbs->Clear();
    Thumbs->SetShown(IniRec.Thumbnails == 1);
    actThumbnails->setChecked(IniRec.Thumbnails == 1);
    // The folder comes with the set of output folders it was sorted with.
    const QString set = FolderSetFor(IniRec.CurrentPath);
    if (!set.isEmpty() && set != FolderSetName)
        UseFolderSet(set, false);
    StartTakenOrder();
}

void TfrmVelmo::StartTakenOrder() {
    actOrderTaken->setChecked(IniRec.Order == 1);
    actOrderName->setChecked(IniRec.Order != 1);
    TakenOrderPending = false;
    if (IniRec.Order != 1) {
        TakenReader->Stop();
        return;
    }
    QStringList names;
    names.reserve(lstFile->count());
    for (int i = 0; i < lstFile->count(); ++i)
        names.append(FileItemName(lstFile->item(i)));
    TakenOrderPending = true;
    TakenReader->Start(IniRec.CurrentPath, names);
}

void TfrmVelmo::ApplyTakenOrder(const QString& folder, const QStringList& names,
                                const std::vector<TTakenFacts>& facts) {
    if (folder != IniRec.CurrentPath || IniRec.Order != 1) {
        TakenOrderPending = false;
        return;
    }
    // A step under way owns the list; the order waits for its end.
    if (Busy()) {
        QTimer::singleShot(20, this,
                           [this, folder, names, facts] { ApplyTakenOrder(folder, names, facts); });
        return;
    }
    TakenOrderPending = false;
    std::unordered_map<QString, size_t> known;
    known.reserve(size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i)
        known.emplace(names[i], size_t(i));
    // Files listed since the reading began are read now.
    std::vector<TTakenFacts> listed;
    listed.reserve(size_t(lstFile->count()));
    for (int i = 0; i < lstFile->count(); ++i) {
        const auto at = known.find(FileItemName(lstFile->item(i)));
        listed.push_back(at != known.end() ? facts[at->second] : ReadTakenFacts(PicturePath(i)));
    }
    const std::vector<int> order = TakenOrder(listed);
    bool same = true;
    for (size_t i = 0; i < order.size() && same; ++i)
        same = order[i] == int(i);
    if (same)
        return;

    TGate gate(*this);
    QListWidgetItem* shown =
        ShownIndex >= 0 && ShownIndex < lstFile->count() ? lstFile->item(ShownIndex) : nullptr;
    const int selected = SelectedIndex();
    QListWidgetItem* selectedItem = selected >= 0 ? lstFile->item(selected) : nullptr;
    std::vector<QListWidgetItem*> items(size_t(lstFile->count()));
    {
        QSignalBlocker quiet(lstFile);
        lstFile->setUpdatesEnabled(false);
        for (int i = lstFile->count() - 1; i >= 0; --i)
            items[size_t(i)] = lstFile->takeItem(i);
        for (int i : order)
            lstFile->addItem(items[size_t(i)]);
        lstFile->setUpdatesEnabled(true);
    }
    if (shown)
        ShownIndex = lstFile->row(shown);
    SelectIndex(selectedItem ? lstFile->row(selectedItem) : -1);
    if (ShownIndex >= 0)
        PreloadAround(ShownIndex);
}
