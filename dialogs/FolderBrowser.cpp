// The folder picker: the folder tree of the main window's left pane, on its
// own in a modal dialog, so every folder the tree lists can be chosen, legacy
// byte names included.
#include "dialogs/FolderBrowser.h"

#include "dialogs/DialogParts.h"
#include "dialogs/Option.h"
#include "platform/FileAccess.h"
#include "platform/FileName.h"
#include "platform/FileOperation.h"
#include "shelltree/ShellCtrls.h"
#include "toolkit/Fonts.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cerrno>
#include <sys/stat.h>
#include <utility>

namespace {
QString ChildOf(const QString& parent, const QString& name) {
    return parent.endsWith(QLatin1Char('/')) ? parent + name : parent + QLatin1Char('/') + name;
}

// The first of "新しいフォルダ", "新しいフォルダ (2)", ... not taken in the folder.
QString FreeFolderName(const QString& parent) {
    const QString base = QStringLiteral("新しいフォルダ");
    QString name = base;
    for (int n = 2; FileFacts(ChildOf(parent, name)).Exists; ++n)
        name = base + QStringLiteral(" (%1)").arg(n);
    return name;
}
} // namespace

TfrmFolderBrowser::TfrmFolderBrowser(QWidget* owner, const QString& title, const QString& start)
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
    cmdNewFolder =
        Named(new QPushButton(QStringLiteral("新しいフォルダ(&M)"), this), "cmdNewFolder");
    cmdOk = Named(new QPushButton(QStringLiteral("OK"), this), "cmdOk");
    cmdCancel = Named(new QPushButton(QStringLiteral("キャンセル"), this), "cmdCancel");
    // Enter chooses and Esc cancels, as in the desktop's own pickers.
    cmdOk->setDefault(true);
    for (QPushButton* b : {cmdOk, cmdCancel})
        b->setFixedSize(75, 25);

    cmdNewFolder->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdNewFolder);
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
    connect(cmdNewFolder, &QPushButton::clicked, this, &TfrmFolderBrowser::cmdNewFolderClick);
    connect(stvFolder, &TShellTreeView::Change, this, &TfrmFolderBrowser::stvFolderChange);
    // The tree starts at the desktop as the main window's does, then goes to
    // the folder the caller names.
    stvFolder->Loaded();
    if (!start.isEmpty() && FileFacts(start).IsDir)
        stvFolder->SelectPath(start);
    stvFolderChange();
    stvFolder->setFocus();
}

QString TfrmFolderBrowser::SelectedPath() const {
    return stvFolder->SelectedPath();
}

void TfrmFolderBrowser::stvFolderChange() {
    cmdOk->setEnabled(!SelectedPath().isEmpty());
    cmdNewFolder->setEnabled(!SelectedPath().isEmpty());
}

void TfrmFolderBrowser::cmdNewFolderClick() {
    const QString parent = SelectedPath();
    if (parent.isEmpty())
        return;
    const QString path = ChildOf(parent, FreeFolderName(parent));
    if (::mkdir(PathToBytes(path).constData(), 0777) != 0) {
        TFileOpError error;
        error.Headline = QStringLiteral("フォルダを作成できません。");
        error.Paths << DisplayPath(path);
        error.Code = errno;
        ShowFileOpError(this, error);
        return;
    }
    if (!stvFolder->SelectPath(path))
        return;
    stvFolder->setFocus();
    stvFolder->editItem(stvFolder->currentItem(), 0);
}

bool BrowseForFolder(const QString& title, QString& path) {
    const QString start = std::exchange(path, QString());
    TfrmFolderBrowser browser(QApplication::activeWindow(), title, start);
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
