// The sorting itself: the output-folder buttons and digit keys copy or move
// the shown picture; delete sends it to the trash or removes it for good.
#include "app/Main.h"

#include "app/MainRules.h"
#include "app/OutFolderSlots.h"
#include "dialogs/SharedMessage.h"
#include "history/FileSteps.h"
#include "history/GroupSteps.h"
#include "platform/FileAccess.h"
#include "platform/FileCopy.h"
#include "platform/FileDelete.h"
#include "platform/FileMove.h"
#include "platform/FileName.h"
#include "platform/FileTrash.h"
#include "platform/MessageBox.h"
#include "settings/Settings.h"
#include "shelltree/ShellCtrls.h"
#include "spi/SPIWine.h"
#include "toolkit/Busy.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QScopeGuard>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QToolButton>
#include <QWheelEvent>

namespace {
const QChar CR(13);

// Asks a question through the shared message box; false when answered No.
bool Confirm(const QString& text, int style) {
    MsgText = text;
    MsgFlags = style;
    ShowMessageBox(kConfirmCaption);
    return MsgResult != idNo;
}

void Warn(const QString& text) {
    MsgText = text;
    MsgFlags = mbWarningOk;
    ShowMessageBox(kWarningCaption);
}
} // namespace

void TfrmVelmo::spbNo0Click(int slot) {
    Command([this, slot] {
        if (IniRec.Mode == 0)
            CopyToOutFolder(slot);
        else
            MoveToOutFolder(slot);
    });
}

bool TfrmVelmo::FormShortCut(int qtKey, quint32 nativeScanCode, Qt::KeyboardModifiers modifiers) {
    const int d = SlotForKey(qtKey, nativeScanCode, modifiers);
    if (d < 0 || OutFolders[d].Path.isEmpty())
        return false;
    spbNo[size_t(d)]->click();
    return true;
}

namespace {
// Controls that take typed text keep every key.
bool TakesText(const QObject* o) {
    return o->inherits("QLineEdit") || o->inherits("QAbstractSpinBox") ||
           o->inherits("QTextEdit") || o->inherits("QPlainTextEdit");
}

bool IsInput(QEvent::Type type) {
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}
} // namespace

bool TfrmVelmo::SwallowKey(QObject* watched, QKeyEvent* key) {
    if (TakesText(watched))
        return false;
    // Digit keys reach the window before menus, actions and the focused
    // control; one without an output folder does nothing at all rather than
    // pick an item by its first letter.
    if (DigitForKey(key->key(), key->nativeScanCode(), key->modifiers()) >= 0) {
        FormShortCut(key->key(), key->nativeScanCode(), key->modifiers());
        return true;
    }
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    const bool plain = (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
    // Esc ends compare, then full screen.
    if (key->key() == Qt::Key_Escape && Comparing()) {
        LeaveCompare();
        return true;
    }
    if (key->key() == Qt::Key_Escape && IsFullScreen()) {
        LeaveFullScreen();
        return true;
    }
    // The viewer's keys get here only while their command is disabled: they
    // are still the window's, never a control's type-ahead or move (Home in
    // the tree would pick another folder).
    if (ViewerCommandForKey(key->key(), key->modifiers()) != vcNone)
        return true;
    if (watched == static_cast<QObject*>(stvMain)) {
        // The tree changes its folder only when asked plainly (a click, the
        // arrow keys, Enter), never by the first letters of a name; while its
        // pane is hidden it takes no keys at all.
        if (IniRec.Tree == 0) {
            lstFile->setFocus(Qt::OtherFocusReason);
            return true;
        }
        const QString text = key->text();
        if (plain && !text.isEmpty() && text.front().isPrint())
            return true;
    }
    return false;
}

bool TfrmVelmo::eventFilter(QObject* watched, QEvent* event) {
    // The view changes size with the window, the splitters and the pane
    // toggles, and also when the window is first laid out on the screen;
    // a picture fitted with its proportions follows every time.
    if (watched == static_cast<QObject*>(scbMain) && event->type() == QEvent::Resize)
        Refit();
    // A key (a shortcut's first) while the window waits for a Windows
    // plug-in gives the plug-in up.
    if (Busy() && event->type() == QEvent::ShortcutOverride && WinePlugins().AbandonCalls())
        LoadAbandoned = true;
    if (event->type() == QEvent::Wheel && ZoomWheel(watched, static_cast<QWheelEvent*>(event)))
        return true;
    if (!IsInput(event->type()) || !watched->isWidgetType() ||
        QApplication::activeModalWidget() != nullptr ||
        static_cast<QWidget*>(watched)->window() != this)
        return QMainWindow::eventFilter(watched, event);
    // Keys and clicks that arrive while a scan, a load or a file operation
    // runs are dropped: they were meant for what was on the screen before.
    // A digit waits for the picture it was meant for, or is refused aloud.
    if (Busy()) {
        if (event->type() == QEvent::KeyPress && !TakesText(watched))
            HoldDigit(static_cast<QKeyEvent*>(event));
        return true;
    }
    if (event->type() == QEvent::KeyPress && SwallowKey(watched, static_cast<QKeyEvent*>(event)))
        return true;
    // The button pane's pop-up comes up over every button: a disabled one
    // (a slot not set yet) would take the request and drop it.
    if (event->type() == QEvent::ContextMenu && watched->parent() == pnlOutFolButton) {
        pmnOutFolButton->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmVelmo::HoldDigit(const QKeyEvent* key) {
    const int d = DigitForKey(key->key(), key->nativeScanCode(), key->modifiers());
    if (d < 0 || OutFolders[d].Path.isEmpty())
        return;
    if (HeldDigit >= 0 || SelectedIndex() < 0)
        return RefuseDigit(d);
    HeldDigit = d;
    HeldDigitFile = PicturePath(SelectedIndex());
}

void TfrmVelmo::RefuseDigit(int digit) {
    QApplication::beep();
    ShowPluginNotice(QStringLiteral("処理中に押されたキー %1 は受け付けませんでした").arg(digit));
}

bool TfrmVelmo::OutFolderChecks(int n) {
    if (SelectedIndex() < 0) {
        Warn(QStringLiteral("出力するファイルを選択してください。"));
        return false;
    }
    if (!FileFacts(OutFolders[n - 1].Path).IsDir) {
        Warn(QStringLiteral("出力するフォルダが存在しません。") + CR +
             QStringLiteral("設定を確認してください。") + CR + DisplayPath(OutFolders[n - 1].Path));
        return false;
    }
    return true;
}

void TfrmVelmo::CopyToOutFolder(int n) {
    TGate gate(*this);
    ListFocusPending = true;
    if (!OutFolderChecks(n))
        return;
    TBusyCursor busy;
    ProcessMessages();
    // The file steps ask before an overwrite, as the clash setting says;
    // the picture's companions go with it.
    if (GroupSteps().Copy(SelectedGroup(), OutFolders[n - 1].Path))
        FlashTarget(n);
    UpdateUndoActions();
}

void TfrmVelmo::MoveToOutFolder(int n) {
    TGate gate(*this);
    ListFocusPending = true;
    if (!OutFolderChecks(n))
        return;
    // The question says what it will do: this file into that folder.
    if (IniRec.Move == 1 &&
        !Confirm(QStringLiteral("移動しますか？") + CR + DisplayPath(SelectedLabel()) +
                     QStringLiteral(" → ") + DisplayPath(OutFolders[n - 1].Path),
                 mbQuestionYesNo))
        return;
    TBusyCursor busy;
    ProcessMessages();
    // A move that fails, is cancelled or skipped leaves the item where it
    // is; a group moves whole or not at all. The undo menu tells the step
    // even when the next picture fails to load.
    const auto update = qScopeGuard([this] { UpdateUndoActions(); });
    if (GroupSteps().Move(SelectedGroup(), OutFolders[n - 1].Path)) {
        FlashTarget(n);
        TakeOutSelectedItem();
    }
}

void TfrmVelmo::actDeleteExecute() {
    Command([this] {
        ListFocusPending = true;
        if (SelectedIndex() < 0)
            return;
        // The question names the whole group: "IMG_0001.JPG +CR2 +xmp".
        const QString p = JoinPath(IniRec.CurrentPath, SelectedLabel());
        const QStringList group = SelectedGroup();
        if (IniRec.Delete == 1) {
            const bool yes =
                IniRec.Trash == 0
                    ? Confirm(DisplayPath(p) + CR + QStringLiteral("を削除すると元に戻せません。") +
                                  CR + QStringLiteral("削除しますか？"),
                              mbQuestionYesNoNo)
                    : Confirm(DisplayPath(p) + CR + QStringLiteral("を削除しますか？"),
                              mbQuestionYesNo);
            if (!yes)
                return;
        }
        TBusyCursor busy;
        ProcessMessages();
        const auto update = qScopeGuard([this] { UpdateUndoActions(); });
        if (IniRec.Trash == 0) {
            GroupSteps().DeleteForGood(group);
            TakeOutSelectedItem();
        } else if (GroupSteps().Trash(group)) {
            TakeOutSelectedItem();
        }
    });
}

void TfrmVelmo::TakeOutSelectedItem() {
    const int k = SelectedIndex();
    if (k < 0)
        return;
    {
        // The list would report its own new selection; the one chosen below
        // is what shows.
        QSignalBlocker quiet(lstFile);
        delete lstFile->takeItem(k);
    }
    LastIndex = LastIndex - 1;
    // The count follows the list, not only the last scan.
    staPanels[0]->setText(FileCountText(lstFile->count()));
    // The picture on show has left the list; whatever shows next is new.
    if (ShownIndex == k)
        ShownIndex = -10;
    SelectIndex(IndexAfterRemoval(k, LastIndex));
    ShowPicture(SelectedIndex());
    UpdateDeleteAction();
}

// Both mode commands switch to the other mode, whichever is on.
void TfrmVelmo::actCopyExecute() {
    Command([this] {
        IniRec.Mode = IniRec.Mode == 0 ? 1 : 0;
        SetMode(IniRec.Mode);
    });
    actCopy->setChecked(IniRec.Mode == 0);
    actMove->setChecked(IniRec.Mode != 0);
}

void TfrmVelmo::actMoveExecute() {
    actCopyExecute();
}
