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
// network and the trash.
class TfrmFolderBrowser : public QDialog {
    Q_OBJECT
public:
    TfrmFolderBrowser(QWidget* owner, const QString& title);

    QLabel* lblTitle;
    TShellTreeView* stvFolder;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;

    // The selected folder's path, its bytes kept; empty when the selection
    // is no file-system folder.
    QString SelectedPath() const;

private:
    void stvFolderChange();
};
