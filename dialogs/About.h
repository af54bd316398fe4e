#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>

class QFrame;
class QLabel;
class QPushButton;

// What the version dialog shows.
inline const QString AboutCaption = QStringLiteral("ヴェルモ！ - Version情報");
inline const QString AboutVersionText = QStringLiteral("ヴェルモ！   Version 1.03");
inline const QString AboutCopyright = QStringLiteral("Copyright (C) 2026 The Velmo Project");
inline const QString AboutHomePage = QStringLiteral("https://velmo.example.org/");
inline const QString AboutMailAddress = QStringLiteral("velmo@example.org");

// Where a dialog of the given frame size goes over its owner's frame: centred,
// with each coordinate truncated toward zero and never below 0.
QPoint CentredOver(const QRect& owner, const QSize& own);

// Opens a web address or "mailto:" text with the desktop's handler (through
// the platform services); the result is not looked at.
void OpenUrlText(const QString& url);

// The version dialog: the program's icon, name and version, the copyright
// line and two links (home page, mail). Neither Enter nor Esc closes it.
class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* owner);

    QFrame* Bevel1;
    QLabel* imgIcon;
    QLabel* lblVersion;
    QLabel* lblCopyright;
    QFrame* Bevel2;
    QLabel* Label1;
    QLabel* lblHPAddress;
    QLabel* Label3;
    QLabel* lblMailAddress;
    QPushButton* cmdExit;

    void FormCreate();
    void FormMouseMove();
    void lblHPAddressMouseMove();
    void lblMailAddressMouseMove();
    void lblHPAddressClick();
    void lblMailAddressClick();
    void cmdExitClick();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetLinkHighlight(QLabel* label, bool on);
    QLabel* FPressedLink = nullptr;
};

// Creates the version dialog over the owner, shows it modally and releases it.
void ShowAboutDialog(QWidget* owner);
