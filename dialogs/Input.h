#pragma once

#include <QDialog>
#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// The title of a slot that was entered without one.
inline const QString NoTitle = QStringLiteral("-----");

// The last component of a folder path: the text after its last "/", empty
// for the root.
QString LastPathComponent(const QString& path);

// The output folder entry dialog: one slot's title and folder, carried in and
// out through InputTitle, InputPath and InputOK. Neither Enter nor Esc closes
// it; its close box counts as Cancel.
class TfrmInput : public QDialog {
    Q_OBJECT
public:
    explicit TfrmInput(QWidget* owner);

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLineEdit* edtTitle;
    QLabel* Label3;
    QToolButton* spbSample;
    QLabel* Label2;
    QLineEdit* edtPath;
    QPushButton* bthRefer;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    void FormCreate();
    bool FormCloseQuery();
    void FormClose();
    void edtTitleChange();
    void bthReferClick();
    void btnOKClick();
    void btnCancelClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetPath(const QString& path);
    // The folder that edtPath shows.
    QString FPath;
    // Whether closing checks that a folder is given.
    bool InputCheck = true;
    // Set while OK or Cancel closes the dialog; any other close is a Cancel.
    bool FButtonClose = false;
};
