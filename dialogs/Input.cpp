#include "dialogs/Input.h"

#include "dialogs/About.h"
#include "dialogs/DialogParts.h"
#include "dialogs/InputHandOver.h"
#include "dialogs/Option.h"
#include "dialogs/SharedMessage.h"
#include "platform/FileName.h"
#include "platform/MessageBox.h"
#include "settings/Settings.h"
#include "toolkit/Fonts.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

QString LastPathComponent(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

TfrmInput::TfrmInput(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmInput"));
    setFont(DesignFont(12));
    setFixedSize(417, 137);

    GroupBox1 = Named(new QGroupBox(QStringLiteral("出力フォルダ"), this), "GroupBox1");
    GroupBox1->setGeometry(8, 4, 401, 89);
    Label1 = Named(new QLabel(QStringLiteral("表示名"), GroupBox1), "Label1");
    Label1->setGeometry(12, 24, 40, 16);
    edtTitle = Named(new QLineEdit(GroupBox1), "edtTitle");
    edtTitle->setGeometry(56, 20, 89, 22);
    Label3 = Named(new QLabel(QStringLiteral("表示サンプル"), GroupBox1), "Label3");
    Label3->setGeometry(160, 24, 68, 16);
    spbSample = Named(new QToolButton(GroupBox1), "spbSample");
    spbSample->setGeometry(232, 20, 72, 22);
    spbSample->setAutoRaise(false);
    spbSample->setToolButtonStyle(Qt::ToolButtonTextOnly);
    spbSample->setFocusPolicy(Qt::NoFocus);
    Label2 = Named(new QLabel(QStringLiteral("パス"), GroupBox1), "Label2");
    Label2->setGeometry(12, 58, 40, 16);
    edtPath = Named(new QLineEdit(GroupBox1), "edtPath");
    edtPath->setGeometry(56, 54, 289, 22);
    edtPath->setReadOnly(true);
    bthRefer = MakeButton(QStringLiteral("参照"), "bthRefer", GroupBox1, QRect(352, 52, 33, 25));
    btnOK = MakeButton(QStringLiteral("OK"), "btnOK", this, QRect(254, 104, 75, 25));
    btnCancel =
        MakeButton(QStringLiteral("キャンセル"), "btnCancel", this, QRect(334, 104, 75, 25));

    connect(edtTitle, &QLineEdit::textChanged, this,
            [this] { Guarded([this] { edtTitleChange(); }); });
    connect(bthRefer, &QPushButton::clicked, this,
            [this] { Guarded([this] { bthReferClick(); }); });
    connect(btnOK, &QPushButton::clicked, this, [this] { Guarded([this] { btnOKClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnCancelClick(); }); });

    FormCreate();
}

void TfrmInput::FormCreate() {
    // Closing checks that a folder is given, unless Cancel closes it.
    InputCheck = true;
    // Centred over the options dialog.
    if (QWidget* owner = parentWidget()) {
        const QWidget* option = owner->window();
        const QSize margins = option->frameGeometry().size() - option->size();
        move(CentredOver(option->frameGeometry(), size() + margins));
    }
    setWindowTitle(QStringLiteral("ヴェルモ！ - 出力フォルダ入力"));
    // The slot being edited: its title (whose change fills the preview), then its path.
    edtTitle->setText(InputTitle == NoTitle ? QString() : InputTitle);
    edtTitleChange();
    SetPath(InputPath);
}

void TfrmInput::SetPath(const QString& path) {
    // The field shows the readable form; the folder itself is kept exactly.
    FPath = path;
    edtPath->setText(DisplayPath(path));
    edtPath->setCursorPosition(0);
}

void TfrmInput::edtTitleChange() {
    spbSample->setText(edtTitle->text());
}

void TfrmInput::bthReferClick() {
    // The picker opens on the slot's folder, else on the folder on show.
    QString path = FPath.isEmpty() ? IniRec.CurrentPath : FPath;
    if (!BrowseForFolder(QStringLiteral("フォルダを選択してください。"), path))
        return;
    SetPath(path);
    if (edtTitle->text().isEmpty())
        edtTitle->setText(DisplayPath(LastPathComponent(path)));
}

void TfrmInput::btnOKClick() {
    InputCheck = true;
    InputOK = true;
    FButtonClose = true;
    close();
    FButtonClose = false;
}

void TfrmInput::btnCancelClick() {
    InputCheck = false;
    InputOK = false;
    FButtonClose = true;
    close();
    FButtonClose = false;
}

bool TfrmInput::FormCloseQuery() {
    if (InputCheck && FPath.isEmpty()) {
        MsgText = QStringLiteral("出力するフォルダを指定してください。");
        MsgFlags = mbWarningOk;
        ShowMessageBox(kWarningCaption);
        edtPath->setFocus();
        return false;
    }
    return true;
}

void TfrmInput::FormClose() {
    InputTitle = edtTitle->text().isEmpty() ? NoTitle : edtTitle->text();
    InputPath = FPath;
}

void TfrmInput::closeEvent(QCloseEvent* event) {
    // The close box is a Cancel: without it, the values would be applied or
    // dropped by whatever an earlier use of the dialog ended with.
    if (!FButtonClose) {
        InputCheck = false;
        InputOK = false;
    }
    if (RunCloseSteps(
            event, [this] { return FormCloseQuery(); }, [this] { FormClose(); }))
        QDialog::closeEvent(event);
}

void TfrmInput::keyPressEvent(QKeyEvent* event) {
    if (!RefuseCloseKey(event))
        QDialog::keyPressEvent(event);
}
