#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QModelIndex;
class QPainter;
class QPushButton;
class QRadioButton;
class QStyleOptionViewItem;
class QTabWidget;
class QTableWidget;
class QWidget;

// The folder picker (FolderBrowser.cpp): the desktop's folder tree in a
// dialog modal over the whole program, with the given title, opening on the
// folder `path` names (the desktop when it names none). True and the chosen
// folder, its bytes kept, when the user chose one.
bool BrowseForFolder(const QString& title, QString& path);

// The help topic of each options tab, by tab index.
int OptionHelpTopic(int page);

// The options dialog: edits the settings and the ten output folders in
// memory. Closing it (OK, Cancel or the close box) copies the controls back
// and has the main window apply the settings again; only OK and the close box
// check the start folder first. Neither Enter nor Esc closes it.
class TfrmOption : public QDialog {
    Q_OBJECT
public:
    // optionPage: the tab to open on, set to the active tab on close.
    TfrmOption(QWidget* owner, int& optionPage, std::function<void()> applySettings);

    QTabWidget* pgcOption;
    QWidget* tbsDisp;
    QWidget* tbsAction;
    QWidget* tbsFolder;
    QWidget* tbsOther;
    QRadioButton* rbtOriginal;
    QRadioButton* rbtStretch;
    QCheckBox* chkProportional;
    QCheckBox* chkZoom;
    QCheckBox* chkKeepZoom;
    QRadioButton* rbtLastFolder;
    QRadioButton* rbtSpecify;
    QLineEdit* edtSpecifyFolder;
    QPushButton* btnRefer;
    QCheckBox* chkMove;
    QCheckBox* chkOverWrite;
    QCheckBox* chkDelete;
    QCheckBox* chkTrash;
    QCheckBox* chkSave;
    QRadioButton* rbtClashAsk;
    QRadioButton* rbtClashBoth;
    QRadioButton* rbtClashSkip;
    QCheckBox* chkGroup;
    QRadioButton* rbtGroupLeadPicture;
    QRadioButton* rbtGroupLeadRaw;
    QTableWidget* sgdFolder;
    QPushButton* btnInput;
    QPushButton* btnClear;
    QPushButton* btnUp;
    QPushButton* btnDown;
    QCheckBox* chkFileName;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
    QPushButton* cmdHelp;

    // The grid's cells as (column, row): row 0 and column 0 are the headers,
    // rows 1..10 the slots; column 1 the title, column 2 the folder.
    QString Cell(int col, int row) const;
    void SetCell(int col, int row, const QString& text);
    // The selected row, 1..10.
    int SelectedRow() const;
    void SelectRow(int row);

    void FormCreate();
    bool FormCloseQuery();
    void FormClose();
    void cmdOkClick();
    void cmdCancelClick();
    void cmdHelpClick();
    void rbtOriginalClick();
    void rbtStretchClick();
    void rbtLastFolderClick();
    void rbtSpecifyClick();
    void btnReferClick();
    void sgdFolderClick();
    void sgdFolderDrawCell(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const;
    void btnInputClick();
    void btnClearClick();
    void btnUpClick();
    void btnDownClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateDispPage();
    void CreateActionPage();
    void CreateFolderPage();
    void CreateOtherPage();
    // The clash choice on the action page (OptionClash.cpp).
    void CreateClashGroup();
    void SetClashControls();
    void GetClashControls();
    // The same-named files on the action page (OptionGroup.cpp).
    void CreateGroupGroup();
    void SetGroupControls();
    void GetGroupControls();
    void SetControls();
    void GetControls();
    void InitGrid();
    int FirstEmptyRow() const;
    void SetButtonState();
    void SwapRows(int row, int other);

    // The start folder field shows a folder's readable form; the folder
    // itself, its bytes kept, stands while the text is left as shown.
    void SetSpecifyFolder(const QString& path);
    QString SpecifyFolderPath() const;
    QString FSpecifyFolder;

    int& OptionPage;
    std::function<void()> ApplySettings;
    // Whether closing checks the start folder.
    bool OptionCheck = true;
};
