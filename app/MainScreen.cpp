// The keys every picture viewer has beyond previous and next: the first and
// the last picture, and the picture alone on a full screen.
#include "app/Main.h"

#include "app/Splitter.h"

#include <QAction>
#include <QLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QScrollArea>
#include <QStatusBar>
#include <QToolBar>

void TfrmVelmo::actFirstExecute() {
    Command([this] {
        if (LastIndex >= 0 && SelectedIndex() != 0) {
            SelectIndex(0);
            ShowPicture(0);
        }
    });
}

void TfrmVelmo::actLastExecute() {
    Command([this] {
        if (LastIndex >= 0 && SelectedIndex() != LastIndex) {
            SelectIndex(LastIndex);
            ShowPicture(LastIndex);
        }
    });
}

void TfrmVelmo::actFullScreenExecute() {
    // The mark tells the screen, whether or not the command runs.
    actFullScreen->setChecked(IsFullScreen());
    Command([this] {
        if (IsFullScreen())
            LeaveFullScreen();
        else
            EnterFullScreen();
    });
}

void TfrmVelmo::EnterFullScreen() {
    if (IsFullScreen())
        return;
    TFullScreenSaved saved{windowState(), pos(), size(), {}};
    for (QWidget* w : {static_cast<QWidget*>(menuBar()), static_cast<QWidget*>(tlbAction),
                       static_cast<QWidget*>(tlbMain), static_cast<QWidget*>(staMain), pnlLeft,
                       static_cast<QWidget*>(splMain), pnlOutFolButton}) {
        if (w->isVisible()) {
            saved.Hidden << w;
            w->hide();
        }
    }
    FullScreenSaved = saved;
    scbMain->setStyleSheet(
        QStringLiteral("QScrollArea { border: none; background: black; }"
                       " #qt_scrollarea_viewport { background: black; } QLabel { color: white; }"));
    scbMain->setAlignment(Qt::AlignCenter);
    actFullScreen->setChecked(true);
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowFullScreen);
    UpdateLegend();
}

void TfrmVelmo::LeaveFullScreen() {
    if (!IsFullScreen())
        return;
    const TFullScreenSaved saved = *FullScreenSaved;
    FullScreenSaved.reset();
    setWindowState(saved.State & ~Qt::WindowFullScreen);
    // The window's place and size come back at once, not only when the
    // window manager answers, so a close right now saves them.
    if (!(saved.State & (Qt::WindowMaximized | Qt::WindowMinimized))) {
        resize(saved.Size);
        move(saved.Pos);
    }
    scbMain->setStyleSheet(QString());
    scbMain->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    for (QWidget* w : saved.Hidden)
        w->show();
    actFullScreen->setChecked(false);
    UpdateLegend();
    layout()->activate();
    // The keys go back to the list.
    lstFile->setFocus(Qt::OtherFocusReason);
}
