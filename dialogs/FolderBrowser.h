#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class TShellTreeView;

// The folder picker of the options and entry dialogs: the desktop's folder
// tree, rooted where the main window's tree is and listing every folder it
// lists, in a small dialog with the caller's title above it. Only a
// file-system folder can be chosen: OK is greyed on the computer, the
// network and the trash. It opens on the folder it is given, when it
// resolves.
class TfrmFolderBrowser : public QDialog {
    Q_OBJECT
public:
    TfrmFolderBrowser(QWidget* owner, const QString& title, const QString& start = QString());

    QLabel* lblTitle;
    TShellTreeView* stvFolder;
    QPushButton* cmdNewFolder;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;

    // The selected folder's path, its bytes kept; empty when the selection
    // is no file-system folder.
    QString SelectedPath() const;

    // Makes a new folder under the selected one and opens its name for
    // editing in place, as F2 does.
    void cmdNewFolderClick();

private:
    void stvFolderChange();
};
