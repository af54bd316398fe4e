// The folder picker: the folder tree of the main window's left pane, on its
// own in a modal dialog, so every folder the tree lists can be chosen, legacy
// byte names included.
#include "dialogs/FolderBrowser.h"

#include "dialogs/DialogParts.h"
#include "dialogs/Option.h"
#include "platform/FileAccess.h"
#include "shelltree/ShellCtrls.h"
#include "toolkit/Fonts.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfrmFolderBrowser::TfrmFolderBrowser(QWidget* owner, const QString& title)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmFolderBrowser"));
    setWindowTitle(QStringLiteral("フォルダの参照"));
    setFont(DesignFont(12));
    resize(320, 400);
    setMinimumSize(240, 240);

    lblTitle = Named(new QLabel(title, this), "lblTitle");
    lblTitle->setWordWrap(true);
    lblTitle->setTextFormat(Qt::PlainText);
    stvFolder = Named(new TShellTreeView(this), "stvFolder");
    cmdOk = Named(new QPushButton(QStringLiteral("OK"), this), "cmdOk");
    cmdCancel = Named(new QPushButton(QStringLiteral("キャンセル"), this), "cmdCancel");
    // Enter chooses and Esc cancels, as in the desktop's own pickers.
    cmdOk->setDefault(true);
    for (QPushButton* b : {cmdOk, cmdCancel})
        b->setFixedSize(75, 25);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->addWidget(lblTitle);
    column->addWidget(stvFolder, 1);
    column->addLayout(buttons);

    connect(cmdOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(stvFolder, &TShellTreeView::Change, this, &TfrmFolderBrowser::stvFolderChange);
    // The tree starts at the desktop as the main window's does; no folder
    // below it is chosen for the user.
    stvFolder->Loaded();
    stvFolderChange();
    stvFolder->setFocus();
}

QString TfrmFolderBrowser::SelectedPath() const {
    return stvFolder->SelectedPath();
}

void TfrmFolderBrowser::stvFolderChange() {
    cmdOk->setEnabled(!SelectedPath().isEmpty());
}

bool BrowseForFolder(const QString& title, QString& path) {
    path.clear();
    TfrmFolderBrowser browser(QApplication::activeWindow(), title);
    // Modal over the whole program, as the system's folder browser is.
    browser.setWindowModality(Qt::ApplicationModal);
    if (browser.exec() != QDialog::Accepted)
        return false;
    const QString chosen = browser.SelectedPath();
    // A folder taken away while the picker was open is no choice.
    if (chosen.isEmpty() || !FileFacts(chosen).IsDir)
        return false;
    path = chosen;
    return true;
}
