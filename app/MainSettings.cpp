#include "app/MainSettings.h"

#include "app/Main.h"
#include "platform/FileName.h"

#include <QApplication>
#include <QFile>
#include <QMenuBar>
#include <QScreen>
#include <QToolBar>

// Tool bar positions are kept relative to the tool-bar strip under the menu.
namespace {
int StripTop(const TfrmVelmo& form) {
    return form.menuBar() && form.menuBar()->isVisible() ? form.menuBar()->height() : 0;
}
} // namespace

// The window's place is its frame's top left corner, read and set alike, so
// a window manager's title bar does not move the window on every start.
int TMainSettingsWindow::Top() const {
    return Form.pos().y();
}
void TMainSettingsWindow::SetTop(int value) {
    Form.move(Form.pos().x(), value);
}
int TMainSettingsWindow::Left() const {
    return Form.pos().x();
}
void TMainSettingsWindow::SetLeft(int value) {
    Form.move(value, Form.pos().y());
}
int TMainSettingsWindow::Width() const {
    return Form.width();
}
void TMainSettingsWindow::SetWidth(int value) {
    Form.resize(value, Form.height());
}
int TMainSettingsWindow::Height() const {
    return Form.height();
}
void TMainSettingsWindow::SetHeight(int value) {
    Form.resize(Form.width(), value);
}

TWindowState TMainSettingsWindow::WindowState() const {
    if (Form.isMinimized())
        return wsMinimized;
    if (Form.isMaximized())
        return wsMaximized;
    return wsNormal;
}

void TMainSettingsWindow::SetWindowState(TWindowState state) {
    switch (state) {
    case wsMinimized:
        Form.setWindowState(Qt::WindowMinimized);
        break;
    case wsMaximized:
        Form.setWindowState(Qt::WindowMaximized);
        break;
    default:
        Form.setWindowState(Qt::WindowNoState);
        break;
    }
}

QSize TMainSettingsWindow::ScreenSize() const {
    const QScreen* screen = Form.screen() ? Form.screen() : QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize(0, 0);
}

void TMainSettingsWindow::SetPnlLeftWidth(int value) {
    Form.pnlLeft->setFixedWidth(qMax(0, value));
}
void TMainSettingsWindow::SetPnlLeftTopHeight(int value) {
    Form.pnlLeftTop->setFixedHeight(qMax(0, value));
}
int TMainSettingsWindow::SplMainLeft() const {
    return Form.pnlLeft->maximumWidth();
}
int TMainSettingsWindow::SplLeftTop() const {
    return Form.pnlLeftTop->maximumHeight();
}

int TMainSettingsWindow::TlbActionTop() const {
    return Form.tlbAction->y() - StripTop(Form);
}
void TMainSettingsWindow::SetTlbActionTop(int value) {
    Form.ToolBarPlace[0] = value;
}
int TMainSettingsWindow::TlbActionLeft() const {
    return Form.tlbAction->x();
}
void TMainSettingsWindow::SetTlbActionLeft(int value) {
    Form.ToolBarPlace[1] = value;
    Form.PlaceToolBars();
}
int TMainSettingsWindow::TlbMainTop() const {
    return Form.tlbMain->y() - StripTop(Form);
}
void TMainSettingsWindow::SetTlbMainTop(int value) {
    Form.ToolBarPlace[2] = value;
}
int TMainSettingsWindow::TlbMainLeft() const {
    return Form.tlbMain->x();
}
void TMainSettingsWindow::SetTlbMainLeft(int value) {
    Form.ToolBarPlace[3] = value;
    Form.PlaceToolBars();
}

int TMainSettingsWindow::SplMainPos() const {
    return Form.SplMainPos;
}
void TMainSettingsWindow::SetSplMainPos(int value) {
    Form.SplMainPos = value;
}

QStringList TMainSettingsWindow::Arguments() const {
    // The kernel's copy keeps the bytes of a name that is not UTF-8.
    QStringList args;
    QFile cmdline(QStringLiteral("/proc/self/cmdline"));
    if (cmdline.open(QIODevice::ReadOnly)) {
        QList<QByteArray> parts = cmdline.readAll().split('\0');
        if (!parts.isEmpty() && parts.last().isEmpty())
            parts.removeLast();
        for (const QByteArray& part : parts)
            args << PathFromBytes(part);
    } else {
        args = QCoreApplication::arguments();
    }
    if (!args.isEmpty())
        args.removeFirst();
    return args;
}
