// Folder sets: the twenty output folders saved under a name and switched
// from the 設定 menu; a source folder brings back the set used last with it.
#include "app/Main.h"

#include "settings/FolderSets.h"
#include "settings/Settings.h"

#include <QAction>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>

void TfrmVelmo::CreateSetsMenu() {
    mnuSetting = menuBar()->addMenu(QStringLiteral("設定(&S)"));
    mnuSetting->setObjectName(QStringLiteral("mnuSetting"));
    // The sets are listed as the file holds them when the menu opens.
    connect(mnuSetting, &QMenu::aboutToShow, this, [this] {
        mnuSetting->clear();
        QAction* save =
            mnuSetting->addAction(QStringLiteral("出力フォルダをセットとして保存(&S)..."));
        save->setObjectName(QStringLiteral("mnuSaveFolderSet"));
        connect(save, &QAction::triggered, this, [this] {
            bool ok = false;
            const QString name = QInputDialog::getText(
                this, QStringLiteral("ヴェルモ！ - フォルダセット"),
                QStringLiteral("セットの名前:"), QLineEdit::Normal, FolderSetName, &ok);
            if (ok && !name.trimmed().isEmpty())
                Command([this, name] { SaveFolderSetAs(name.trimmed()); });
        });
        const QStringList names = FolderSetNames();
        if (!names.isEmpty())
            mnuSetting->addSeparator();
        for (const QString& name : names) {
            QAction* use = mnuSetting->addAction(name);
            use->setCheckable(true);
            use->setChecked(name == FolderSetName);
            connect(use, &QAction::triggered, this,
                    [this, name] { Command([this, name] { UseFolderSet(name, true); }); });
        }
    });
}

void TfrmVelmo::SaveFolderSetAs(const QString& name) {
    SaveFolderSet(name);
    FolderSetName = name;
    RememberFolderSet(IniRec.CurrentPath, name);
}

void TfrmVelmo::UseFolderSet(const QString& name, bool remember) {
    if (!LoadFolderSet(name))
        return;
    FolderSetName = name;
    if (remember)
        RememberFolderSet(IniRec.CurrentPath, name);
    ShowOutFolders();
}
