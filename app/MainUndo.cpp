// Undo and redo of the sorting steps: the edit menu, the history kept in the
// journal beside Velmo.ini, and the list and the view following the files
// that come back or leave.
#include "app/Main.h"

#include "app/DispExt.h"
#include "app/FileListDelegate.h"
#include "app/MainRules.h"
#include "dialogs/SharedMessage.h"
#include "history/FileSteps.h"
#include "platform/FileAccess.h"
#include "platform/FileName.h"
#include "platform/FileStamp.h"
#include "platform/MessageBox.h"
#include "settings/Settings.h"
#include "toolkit/Busy.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>

namespace {
const QChar CR(13);

// The person at the screen, for the file steps: the shared message box and
// the status bar.
class TWindowQuestions : public TStepQuestions {
public:
    explicit TWindowQuestions(QStatusBar* bar) : Bar(bar) {}
    bool AskOverwrite(const QString& target, bool undoing) override {
        MsgText = DisplayPath(target) + QStringLiteral("は既に存在します。") + CR +
                  QStringLiteral("上書きしますか？");
        MsgFlags = undoing ? mbQuestionYesNoNo : mbQuestionYesNo;
        ShowMessageBox(kConfirmCaption);
        return MsgResult != idNo;
    }
    void Refuse(const QString& text) override {
        MsgText = text;
        MsgFlags = mbWarningOk;
        ShowMessageBox(kWarningCaption);
    }
    void Note(const QString& text) override { Bar->showMessage(text, 8000); }

private:
    QStatusBar* Bar;
};

// The list's order: without regard to case, then by case.
bool ListsBefore(const QString& a, const QString& b) {
    const int c = a.toCaseFolded().compare(b.toCaseFolded());
    return c != 0 ? c < 0 : a < b;
}
} // namespace

void TfrmVelmo::CreateEditMenu() {
    actUndo = new QAction(UndoCaption(nullptr), this);
    actUndo->setObjectName(QStringLiteral("actUndo"));
    actUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    actRedo = new QAction(RedoCaption(nullptr), this);
    actRedo->setObjectName(QStringLiteral("actRedo"));
    actRedo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    for (QAction* a : {actUndo, actRedo}) {
        a->setShortcutContext(Qt::WindowShortcut);
        a->setEnabled(false);
        addAction(a);
    }
    mnuEdit = new QMenu(QStringLiteral("編集(&E)"), this);
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    mnuEdit->addAction(actUndo);
    mnuEdit->addAction(actRedo);
    menuBar()->insertMenu(mnuView->menuAction(), mnuEdit);
    connect(actUndo, &QAction::triggered, this, &TfrmVelmo::actUndoExecute);
    connect(actRedo, &QAction::triggered, this, &TfrmVelmo::actRedoExecute);
}

void TfrmVelmo::OpenHistory() {
    History = std::make_unique<THistory>();
    StepQuestions = std::make_unique<TWindowQuestions>(staMain);
    Steps = std::make_unique<TFileSteps>(this, *History, *StepQuestions);
    History->Open(QFileInfo(IniFileName()).path() + QStringLiteral("/Velmo.journal"));
    Steps->Recover();
    if (!History->SetAsideName().isEmpty() || History->InUse()) {
        const QString note =
            History->InUse()
                ? QStringLiteral("別のヴェルモ！が履歴を使用中のため、このウィンドウの操作は"
                                 "次に起動したときには元に戻せません。")
                : QStringLiteral("履歴ファイルを読めないため、") +
                      DisplayPath(QFileInfo(History->SetAsideName()).fileName()) +
                      QStringLiteral(" として残し、新しく始めます。");
        // Once the window is on the screen: the status bar only makes room
        // for a line over panels it is showing.
        auto* wait = new QTimer(this);
        wait->setInterval(100);
        connect(wait, &QTimer::timeout, this, [this, wait, note] {
            if (!staMain->isVisible())
                return;
            StepQuestions->Note(note);
            wait->deleteLater();
            wait->stop();
        });
        wait->start();
    }
    UpdateUndoActions();
}

TFileSteps& TfrmVelmo::FileSteps() {
    Steps->Policy = ClashPolicyOf(IniRec.Clash);
    Steps->AskBeforeOverwrite = IniRec.OverWrite == 1;
    return *Steps;
}

void TfrmVelmo::UpdateUndoActions() {
    const THistoryStep* undo = History ? History->UndoStep() : nullptr;
    const THistoryStep* redo = History ? History->RedoStep() : nullptr;
    actUndo->setText(UndoCaption(undo));
    actUndo->setEnabled(undo != nullptr);
    actRedo->setText(RedoCaption(redo));
    actRedo->setEnabled(redo != nullptr);
}

void TfrmVelmo::actUndoExecute() {
    StepHistory(&TFileSteps::Undo);
}

void TfrmVelmo::actRedoExecute() {
    StepHistory(&TFileSteps::Redo);
}

void TfrmVelmo::StepHistory(bool (TFileSteps::*step)()) {
    Command([this, step] {
        TGate gate(*this);
        ListFocusPending = true;
        TBusyCursor busy;
        ProcessMessages();
        (FileSteps().*step)();
        FollowFiles(Steps->Touched);
        UpdateUndoActions();
    });
}

void TfrmVelmo::FollowFiles(const QStringList& paths) {
    if (IniRec.CurrentPath.isEmpty())
        return;
    for (const QString& path : paths) {
        const QString name = QFileInfo(path).fileName();
        if (name.isEmpty() || JoinPath(IniRec.CurrentPath, name) != path)
            continue; // not in the open folder
        int at = -1;
        for (int i = 0; i < lstFile->count() && at < 0; ++i)
            if (FileItemName(lstFile->item(i)) == name)
                at = i;
        const bool there = FileFacts(path).IsFile;
        if (!there && at >= 0) {
            // Gone: out of the list as a move takes a file out.
            SelectIndex(at);
            TakeOutSelectedItem();
        } else if (there && at < 0 && IsDispExt(ExtractFileExt(name))) {
            // Back: listed in its sorted place, and shown.
            int lo = 0;
            int hi = lstFile->count();
            while (lo < hi) {
                const int mid = (lo + hi) / 2;
                if (ListsBefore(FileItemName(lstFile->item(mid)), name))
                    lo = mid + 1;
                else
                    hi = mid;
            }
            {
                QSignalBlocker quiet(lstFile);
                auto* item = new QListWidgetItem(name);
                lstFile->insertItem(lo, item);
                if (HasRawBytes(name))
                    SetFileItemName(item, name);
            }
            LastIndex = LastIndex + 1;
            if (ShownIndex >= lo)
                ++ShownIndex;
            staPanels[0]->setText(FileCountText(lstFile->count()));
            SelectIndex(lo);
            ShowPicture(lo);
            UpdateDeleteAction();
        }
    }
}
