#include "dialogs/Option.h"

#include "dialogs/About.h"
#include "dialogs/DialogParts.h"
#include "dialogs/SharedMessage.h"
#include "platform/FileName.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"
#include "settings/Settings.h"
#include "toolkit/Fonts.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>

#include <sys/stat.h>

namespace {
bool FolderExists(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::stat(PathToBytes(path).constData(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

// The tab under the mouse shows its caption in the highlight colour.
class TTabHover : public QObject {
public:
    explicit TTabHover(QTabBar* bar) : QObject(bar), Bar(bar) {
        Bar->setMouseTracking(true);
        Bar->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseMove)
            Mark(Bar->tabAt(static_cast<QMouseEvent*>(event)->position().toPoint()));
        else if (event->type() == QEvent::Leave)
            Mark(-1);
        return false;
    }

private:
    void Mark(int tab) {
        for (int i = 0; i < Bar->count(); ++i)
            Bar->setTabTextColor(i,
                                 i == tab ? Bar->palette().color(QPalette::Highlight) : QColor());
    }
    QTabBar* Bar;
};
} // namespace

int OptionHelpTopic(int page) {
    switch (page) {
    case 1:
        return 8;
    case 2:
        return 9;
    case 3:
        return 10;
    default:
        return 36;
    }
}

TfrmOption::TfrmOption(QWidget* owner, int& optionPage, std::function<void()> applySettings)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      OptionPage(optionPage), ApplySettings(std::move(applySettings)) {
    setObjectName(QStringLiteral("frmOption"));
    setFont(DesignFont(12));
    setFixedSize(410, 420);

    pgcOption = Named(new QTabWidget(this), "pgcOption");
    pgcOption->setGeometry(8, 8, 393, 371);
    new TTabHover(pgcOption->tabBar());
    tbsDisp = Named(new QWidget, "tbsDisp");
    tbsAction = Named(new QWidget, "tbsAction");
    tbsFolder = Named(new QWidget, "tbsFolder");
    tbsOther = Named(new QWidget, "tbsOther");
    pgcOption->addTab(tbsDisp, QStringLiteral("表示"));
    pgcOption->addTab(tbsAction, QStringLiteral("動作"));
    pgcOption->addTab(tbsFolder, QStringLiteral("フォルダ"));
    pgcOption->addTab(tbsOther, QStringLiteral("その他"));
    CreateDispPage();
    CreateActionPage();
    CreateFolderPage();
    CreateOtherPage();

    cmdOk = MakeButton(QStringLiteral("OK"), "cmdOk", this, QRect(165, 387, 75, 25));
    cmdCancel =
        MakeButton(QStringLiteral("キャンセル"), "cmdCancel", this, QRect(246, 387, 75, 25));
    cmdHelp = MakeButton(QStringLiteral("ヘルプ(&H)"), "cmdHelp", this, QRect(327, 387, 75, 25));

    auto on = [this](QAbstractButton* b, void (TfrmOption::*handler)()) {
        connect(b, &QAbstractButton::clicked, this,
                [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    };
    on(cmdOk, &TfrmOption::cmdOkClick);
    on(cmdCancel, &TfrmOption::cmdCancelClick);
    on(cmdHelp, &TfrmOption::cmdHelpClick);
    on(btnRefer, &TfrmOption::btnReferClick);
    on(btnInput, &TfrmOption::btnInputClick);
    on(btnClear, &TfrmOption::btnClearClick);
    on(btnUp, &TfrmOption::btnUpClick);
    on(btnDown, &TfrmOption::btnDownClick);
    // A choice made by mouse, keyboard or program.
    auto chosen = [this](QRadioButton* b, void (TfrmOption::*handler)()) {
        connect(b, &QRadioButton::toggled, this, [this, handler](bool checked) {
            if (checked)
                Guarded([this, handler] { (this->*handler)(); });
        });
    };
    chosen(rbtOriginal, &TfrmOption::rbtOriginalClick);
    chosen(rbtStretch, &TfrmOption::rbtStretchClick);
    chosen(rbtLastFolder, &TfrmOption::rbtLastFolderClick);
    chosen(rbtSpecify, &TfrmOption::rbtSpecifyClick);

    FormCreate();
    // Every change of the selected row, however made, sets the buttons.
    connect(sgdFolder->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { Guarded([this] { sgdFolderClick(); }); });
}

void TfrmOption::CreateDispPage() {
    auto* view = Named(new QGroupBox(QStringLiteral("画像表示"), tbsDisp), "GroupBox1");
    view->setGeometry(8, 8, 369, 117);
    rbtOriginal = MakeChoice<QRadioButton>(QStringLiteral("原寸大で表示する(&O)"), "rbtOriginal",
                                           view, 16, 22);
    rbtStretch = MakeChoice<QRadioButton>(QStringLiteral("フォームの大きさに合わせる(&F)"),
                                          "rbtStretch", view, 16, 44);
    chkProportional = MakeChoice<QCheckBox>(QStringLiteral("縦横比を維持する(&R)"),
                                            "chkProportional", view, 36, 66);
    chkZoom = MakeChoice<QCheckBox>(QStringLiteral("フォームより小さい画像を拡大しない(&N)"),
                                    "chkZoom", view, 36, 88);

    auto* start = Named(new QGroupBox(QStringLiteral("初期表示フォルダ"), tbsDisp), "GroupBox2");
    start->setGeometry(8, 132, 369, 109);
    rbtLastFolder = MakeChoice<QRadioButton>(QStringLiteral("終了時のフォルダを開く(&E)"),
                                             "rbtLastFolder", start, 16, 22);
    rbtSpecify = MakeChoice<QRadioButton>(QStringLiteral("指定したフォルダを開く(&S)"),
                                          "rbtSpecify", start, 16, 44);
    edtSpecifyFolder = Named(new QLineEdit(start), "edtSpecifyFolder");
    edtSpecifyFolder->setGeometry(36, 70, 280, 22);
    btnRefer = MakeButton(QStringLiteral("参照"), "btnRefer", start, QRect(322, 68, 33, 25));
    chkKeepZoom =
        MakeChoice<QCheckBox>(QStringLiteral("同じ大きさの次の画像でも拡大と位置を保つ(&K)"),
                              "chkKeepZoom", tbsDisp, 16, 250);
}

void TfrmOption::CreateActionPage() {
    auto* general = Named(new QGroupBox(QStringLiteral("全般"), tbsAction), "GroupBox3");
    general->setGeometry(8, 8, 369, 117);
    chkMove = MakeChoice<QCheckBox>(QStringLiteral("移動するとき確認する(&M)"), "chkMove", general,
                                    16, 22);
    chkOverWrite = MakeChoice<QCheckBox>(QStringLiteral("上書き確認する(&O)"), "chkOverWrite",
                                         general, 16, 44);
    chkDelete = MakeChoice<QCheckBox>(QStringLiteral("削除するとき確認する(&D)"), "chkDelete",
                                      general, 16, 66);
    chkTrash = MakeChoice<QCheckBox>(QStringLiteral("削除するときはごみ箱に入れる(&T)"), "chkTrash",
                                     general, 16, 88);
    auto* window = Named(new QGroupBox(QStringLiteral("ウインドウ"), tbsAction), "GroupBox4");
    window->setGeometry(8, 132, 369, 53);
    chkSave = MakeChoice<QCheckBox>(QStringLiteral("位置、サイズを保存する(&S)"), "chkSave", window,
                                    16, 22);
    CreateClashGroup();
    CreateGroupGroup();
}

void TfrmOption::CreateOtherPage() {
    auto* status = Named(new QGroupBox(QStringLiteral("ステータスバー"), tbsOther), "GroupBox6");
    status->setGeometry(8, 8, 369, 53);
    chkFileName = MakeChoice<QCheckBox>(QStringLiteral("ファイル名をフルパスで表示する(&F)"),
                                        "chkFileName", status, 16, 22);
}

void TfrmOption::FormCreate() {
    // Closing checks the start folder, unless Cancel closes it.
    OptionCheck = true;
    // Centred over the main window.
    if (QWidget* owner = parentWidget()) {
        const QWidget* main = owner->window();
        const QSize margins = main->frameGeometry().size() - main->size();
        move(CentredOver(main->frameGeometry(), size() + margins));
    }
    setWindowTitle(QStringLiteral("ヴェルモ！ - オプション設定"));
    // The page asked for, the first one for any other number.
    pgcOption->setCurrentIndex(OptionPage >= 1 && OptionPage <= 3 ? OptionPage : 0);
    // The settings in the controls, the slots in the grid.
    SetControls();
    InitGrid();
    SetButtonState();
}

void TfrmOption::SetControls() {
    // Display size; the fitting options can be changed only while fitting.
    if (IniRec.DispSize == 0)
        rbtOriginal->setChecked(true);
    else
        rbtStretch->setChecked(true);
    chkProportional->setEnabled(IniRec.DispSize != 0);
    chkZoom->setEnabled(IniRec.DispSize != 0);
    // The questions, the trash, fitting and the saved window.
    chkMove->setChecked(IniRec.Move == 1);
    chkOverWrite->setChecked(IniRec.OverWrite == 1);
    chkDelete->setChecked(IniRec.Delete == 1);
    chkTrash->setChecked(IniRec.Trash == 1);
    chkProportional->setChecked(IniRec.Proportional == 1);
    chkZoom->setChecked(IniRec.Zoom == 1);
    chkKeepZoom->setChecked(IniRec.KeepZoom == 1);
    chkSave->setChecked(IniRec.Save == 1);
    // Start folder: the one specified can be edited only while chosen.
    if (IniRec.StartMode != 0)
        rbtSpecify->setChecked(true);
    else
        rbtLastFolder->setChecked(true);
    edtSpecifyFolder->setEnabled(IniRec.StartMode != 0);
    btnRefer->setEnabled(IniRec.StartMode != 0);
    // The specified folder, shown readably from its start.
    SetSpecifyFolder(IniRec.SpecifyFolder);
    // Slot n in row n: title, then path.
    for (int n = 1; n <= OutFolderCount; ++n) {
        SetCell(1, n, OutFolders[n - 1].Title);
        SetCell(2, n, OutFolders[n - 1].Path);
    }
    // Status bar.
    chkFileName->setChecked(IniRec.FileName == 1);
    SetClashControls();
    SetGroupControls();
}

void TfrmOption::SetSpecifyFolder(const QString& path) {
    FSpecifyFolder = path;
    edtSpecifyFolder->setText(DisplayPath(path));
    edtSpecifyFolder->setCursorPosition(0);
}

QString TfrmOption::SpecifyFolderPath() const {
    const QString text = edtSpecifyFolder->text();
    return text == DisplayPath(FSpecifyFolder) ? FSpecifyFolder : text;
}

void TfrmOption::GetControls() {
    IniRec.DispSize = rbtOriginal->isChecked() ? 0 : 1;
    IniRec.Move = chkMove->isChecked() ? 1 : 0;
    IniRec.OverWrite = chkOverWrite->isChecked() ? 1 : 0;
    IniRec.Delete = chkDelete->isChecked() ? 1 : 0;
    IniRec.Trash = chkTrash->isChecked() ? 1 : 0;
    IniRec.Proportional = chkProportional->isChecked() ? 1 : 0;
    IniRec.Zoom = chkZoom->isChecked() ? 1 : 0;
    IniRec.KeepZoom = chkKeepZoom->isChecked() ? 1 : 0;
    IniRec.Save = chkSave->isChecked() ? 1 : 0;
    IniRec.StartMode = rbtLastFolder->isChecked() ? 0 : 1;
    IniRec.SpecifyFolder = SpecifyFolderPath();
    for (int n = 1; n <= OutFolderCount; ++n) {
        OutFolders[n - 1].Title = Cell(1, n);
        OutFolders[n - 1].Path = Cell(2, n);
    }
    IniRec.FileName = chkFileName->isChecked() ? 1 : 0;
    GetClashControls();
    GetGroupControls();
}

void TfrmOption::rbtOriginalClick() {
    chkProportional->setEnabled(false);
    chkZoom->setEnabled(false);
}

void TfrmOption::rbtStretchClick() {
    chkProportional->setEnabled(true);
    chkZoom->setEnabled(true);
}

void TfrmOption::rbtLastFolderClick() {
    edtSpecifyFolder->setEnabled(false);
    btnRefer->setEnabled(false);
}

void TfrmOption::rbtSpecifyClick() {
    edtSpecifyFolder->setEnabled(true);
    btnRefer->setEnabled(true);
}

void TfrmOption::btnReferClick() {
    QString path = SpecifyFolderPath().isEmpty() ? IniRec.CurrentPath : SpecifyFolderPath();
    if (BrowseForFolder(QStringLiteral("フォルダを選択してください。"), path)) {
        SetSpecifyFolder(path);
    }
    edtSpecifyFolder->setFocus();
}

void TfrmOption::cmdOkClick() {
    OptionCheck = true;
    close();
}

void TfrmOption::cmdCancelClick() {
    OptionCheck = false;
    close();
}

void TfrmOption::cmdHelpClick() {
    HelpContext(QStringLiteral("Velmo.hlp"), OptionHelpTopic(pgcOption->currentIndex()));
}

bool TfrmOption::FormCloseQuery() {
    if (!OptionCheck)
        return true;
    bool canClose = true;
    auto refuse = [&](const QString& text) {
        // The field the message is about is shown with it.
        pgcOption->setCurrentWidget(tbsDisp);
        MsgText = text;
        MsgFlags = mbWarningOk;
        ShowMessageBox(kWarningCaption);
        edtSpecifyFolder->setFocus();
        canClose = false;
    };
    // Two checks, each made whatever the other found.
    if (rbtSpecify->isChecked() && edtSpecifyFolder->text().isEmpty())
        refuse(QStringLiteral("フォルダを指定してください。"));
    if (rbtSpecify->isChecked() && !FolderExists(SpecifyFolderPath()))
        refuse(QStringLiteral("フォルダが存在しません。"));
    return canClose;
}

void TfrmOption::FormClose() {
    GetControls();
    if (ApplySettings)
        ApplySettings();
    OptionPage = pgcOption->currentIndex();
}

void TfrmOption::closeEvent(QCloseEvent* event) {
    if (RunCloseSteps(
            event, [this] { return FormCloseQuery(); }, [this] { FormClose(); }))
        QDialog::closeEvent(event);
}

void TfrmOption::keyPressEvent(QKeyEvent* event) {
    // Ctrl+Tab and Ctrl+Shift+Tab turn the pages from anywhere in the dialog;
    // inside the pages the tab control sees them first.
    const bool tab = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    if (tab && (event->modifiers() & Qt::ControlModifier)) {
        const bool back =
            event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
        const int count = pgcOption->count();
        pgcOption->setCurrentIndex((pgcOption->currentIndex() + (back ? count - 1 : 1)) % count);
        return;
    }
    if (!RefuseCloseKey(event))
        QDialog::keyPressEvent(event);
}
