// The window's frame: creation, settings applied to the panes and buttons,
// the pane toggles, the splitters, resizing, the commands that are not about
// pictures, and the close.
#include "app/Main.h"

#include "app/ImageView.h"
#include "app/MainRules.h"
#include "app/MainSettings.h"
#include "app/OutFolderSlots.h"
#include "app/Preloader.h"
#include "app/Splitter.h"
#include "dialogs/About.h"
#include "dialogs/Option.h"
#include "history/FileSteps.h"
#include "history/GroupSteps.h"
#include "platform/FileName.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"
#include "settings/Settings.h"
#include "shelltree/ShellCtrls.h"
#include "spi/SPIWine.h"
#include "toolkit/Picture.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QProgressBar>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

TfrmVelmo::TfrmVelmo(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmVelmo"));
    setWindowTitle(QStringLiteral("ヴェルモ！"));
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);
    FPicture = std::make_unique<TPicture>();
    Preload = TakeStartPreloader();
    // The components are loaded first: the plug-in manager searches its
    // plug-ins before the creation handler runs.
    CreateComponents();
    CreatePlugins();
    try {
        FormCreate();
    } catch (...) {
        // What went wrong at start (the picture resumed on no longer loads)
        // is told over the window, once it is on the screen.
        QTimer::singleShot(0, this, [error = std::current_exception()] { HandleException(error); });
    }
}

TfrmVelmo::~TfrmVelmo() {
    qApp->removeEventFilter(this);
}

void TfrmVelmo::FormCreate() {
    setWindowTitle(QStringLiteral("ヴェルモ！"));
    Dragging = false;
    FPicture->Clear();
    imgMain->Invalidate();
    OptionPage = 0;
    ShownIndex = -10;
    SplMainPos = 200;
    imgMain->resize(0, 0);
    pgbMain->hide();
    for (size_t i = 0; i < OutFolderCount; ++i)
        OutFolButtons[i] = spbNo[i];
    for (QLabel* panel : staPanels)
        panel->clear();
    TMainSettingsWindow settingsWindow(*this);
    const bool firstStart = !QFile::exists(IniFileName());
    LoadSettings(settingsWindow);
    OpenHistory();
    // A first start without a folder opens the tree's root, the desktop.
    if (firstStart && IniRec.CurrentPath.isEmpty())
        IniRec.CurrentPath = stvMain->SelectedPath();
    ApplySettings();
    // Lay the panes out at the loaded size now, so the first picture is
    // fitted to the view it will really have.
    layout()->activate();
    centralWidget()->layout()->activate();
    BuildDispExt();
    // The keys go to the file list from the start, whatever comes of the
    // first folder.
    lstFile->setFocus(Qt::OtherFocusReason);
    OpenFolder(IniRec.CurrentPath, IniRec.CurrentFile);
    UpdateDeleteAction();
    TellIfMissing(settingsWindow.Arguments().value(0));
}

void TfrmVelmo::GateOpened() {
    if (ListFocusPending) {
        ListFocusPending = false;
        lstFile->setFocus(Qt::OtherFocusReason);
    }
    if (RefitPending) {
        RefitPending = false;
        Guarded([this] { FitPicture(); });
    }
    if (HeldDigit >= 0) {
        const int d = std::exchange(HeldDigit, -1);
        // Sorted now, before any key that came after it.
        const int s = SelectedIndex();
        if (!FolderChangePending && !ClosePending && s >= 0 && PicturePath(s) == HeldDigitFile)
            spbNo[size_t(d)]->click();
        else
            RefuseDigit(d);
    }
    if (FolderChangePending) {
        FolderChangePending = false;
        QTimer::singleShot(0, this, [this] { stvMainChange(); });
    }
    if (ClosePending) {
        ClosePending = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

void TfrmVelmo::Refit() {
    if (IniRec.DispSize != 1 || IniRec.Proportional != 1)
        return;
    if (Busy())
        RefitPending = true;
    else
        Guarded([this] { FitPicture(); });
}

void TfrmVelmo::ApplySettings() {
    stvMain->SelectPath(IniRec.CurrentPath);
    FitPicture();
    ShowTree(IniRec.Tree);
    ShowOutFolButton(IniRec.OutFolButton);
    SetMode(IniRec.Mode);
    ShowOutFolders();
    UpdateLegend();
    const bool anySet = std::any_of(std::begin(OutFolders), std::end(OutFolders),
                                    [](const TOutFolderRec& slot) { return !slot.Path.isEmpty(); });
    pnlOutFolButton->findChild<QLabel*>(QStringLiteral("lblOutFolHint"))->setVisible(!anySet);
    if (SelectedIndex() >= 0) {
        const QString p = JoinPath(IniRec.CurrentPath, SelectedText());
        staPanels[1]->setText(DisplayPath(FileNamePanelText(p, IniRec.FileName)));
    }
}

void TfrmVelmo::ShowTree(int flag) {
    if (flag != 0) {
        pnlLeft->setFixedWidth(qMax(0, SplMainPos));
        splMain->show();
        actTree->setChecked(true);
    } else {
        // The splitter's left edge is the pane's width; a pane already
        // narrowed to nothing keeps the width remembered before.
        if (pnlLeft->maximumWidth() > 0)
            SplMainPos = pnlLeft->maximumWidth();
        pnlLeft->setFixedWidth(0);
        splMain->hide();
        actTree->setChecked(false);
        // A hidden tree keeps no keys.
        if (stvMain->hasFocus())
            lstFile->setFocus(Qt::OtherFocusReason);
    }
}

void TfrmVelmo::ShowOutFolders() {
    for (int k = 1; k <= OutFolderCount; ++k) {
        QToolButton* b = OutFolButtons[size_t(k - 1)];
        b->setVisible(OutFolderRowInUse((k - 1) / OutFolderRowSize));
        const TOutFolderRec& slot = OutFolders[k - 1];
        if (slot.Path.isEmpty()) {
            b->setText(QStringLiteral(" "));
            b->setToolTip(QString());
            b->setEnabled(false);
        } else {
            b->setText(slot.Title);
            b->setToolTip(DisplayPath(slot.Path));
            b->setEnabled(true);
        }
    }
    ShowOutFolButton(IniRec.OutFolButton);
}

void TfrmVelmo::ShowOutFolButton(int flag) {
    pnlOutFolButton->setFixedWidth(flag != 0 ? OutFolButtonPaneWidth() : 0);
    actOutFolButton->setChecked(flag != 0);
}

void TfrmVelmo::SetMode(int flag) {
    actCopy->setChecked(flag == 0);
    actMove->setChecked(flag != 0);
    setWindowTitle(ModeCaption(flag));
}

bool TfrmVelmo::splMainCanResize(int newSize) {
    const bool accept = newSize >= 50;
    Refit();
    return accept;
}

void TfrmVelmo::FormResize() {
    Refit();
    // Panel 1 stretches in the status bar's layout and so always takes the
    // room that panels 0, 2, 3 and 4 leave.
}

void TfrmVelmo::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TfrmVelmo::actExitExecute() {
    close();
}

void TfrmVelmo::actHelpExecute() {
    Guarded([] { HelpContents(QStringLiteral("Velmo.hlp")); });
}

void TfrmVelmo::actAboutExecute() {
    Guarded([this] {
        auto* about = new TfrmAbout(this);
        const std::unique_ptr<TfrmAbout> release(about);
        about->exec();
    });
}

void TfrmVelmo::actOptionExecute() {
    Command([this] {
        // Panes and dialogs belong to the window, not to full screen.
        LeaveFullScreen();
        auto* option = new TfrmOption(this, OptionPage, [this] { ApplySettings(); });
        const std::unique_ptr<TfrmOption> release(option);
        option->exec();
    });
}

void TfrmVelmo::pmnOutFolButtonOptionClick() {
    OptionPage = 2;
    actOptionExecute();
}

void TfrmVelmo::actTreeExecute() {
    Command([this] {
        // Panes and dialogs belong to the window, not to full screen.
        LeaveFullScreen();
        IniRec.Tree = IniRec.Tree == 0 ? 1 : 0;
        ShowTree(IniRec.Tree);
        if (IniRec.DispSize == 1 && IniRec.Proportional == 1)
            FitPicture();
    });
    // The action has flipped its mark already, also when it was dropped.
    actTree->setChecked(IniRec.Tree != 0);
}

void TfrmVelmo::actOutFolButtonExecute() {
    Command([this] {
        // Panes and dialogs belong to the window, not to full screen.
        LeaveFullScreen();
        IniRec.OutFolButton = IniRec.OutFolButton == 0 ? 1 : 0;
        ShowOutFolButton(IniRec.OutFolButton);
        if (IniRec.DispSize == 1 && IniRec.Proportional == 1)
            FitPicture();
    });
    actOutFolButton->setChecked(IniRec.OutFolButton != 0);
}

void TfrmVelmo::FormClose() {
    // The next start without an argument opens on the picture on show.
    IniRec.CurrentFile =
        ShownIndex >= 0 && ShownIndex < lstFile->count() ? PicturePath(ShownIndex) : QString();
    TMainSettingsWindow settingsWindow(*this);
    SaveSettings(settingsWindow);
    DeleteOldSettings();
}

void TfrmVelmo::closeEvent(QCloseEvent* event) {
    // A close asked for inside a step (the close box during a copy) waits
    // until the step is over, so no file operation is cut off half-way.
    if (Busy()) {
        ClosePending = true;
        LoadAbandoned = WinePlugins().AbandonCalls() || LoadAbandoned;
        event->ignore();
        return;
    }
    // The window's place and its bars are saved as they are outside full
    // screen.
    LeaveFullScreen();
    // A settings file that cannot be written abandons the close, so the
    // program keeps running and nothing the user set is lost silently.
    try {
        FormClose();
        event->accept();
    } catch (...) {
        event->ignore();
        HandleException(std::current_exception());
    }
}
