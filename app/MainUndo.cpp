// Undo and redo of the sorting steps: the edit menu, the history kept in the
// journal beside Velmo.ini, and the list and the view following the files
// that come back or leave.
#include "app/Main.h"

#include "app/DispExt.h"
#include "app/FileListDelegate.h"
#include "app/MainRules.h"
#include "dialogs/SharedMessage.h"
#include "history/FileGroups.h"
#include "history/FileSteps.h"
#include "history/GroupSteps.h"
#include "platform/FileAccess.h"
#include "platform/FileName.h"
#include "platform/FileStamp.h"
#include "platform/MessageBox.h"
#include "settings/Settings.h"
#include "toolkit/Busy.h"

#include <QAction>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>

#include <utility>

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
    // Once the window is on the screen: the status bar only makes room for
    // a line over panels it is showing (a start's notes come before).
    void Note(const QString& text) override {
        Later = text;
        if (Bar->isVisible())
            return Bar->showMessage(std::exchange(Later, QString()), 8000);
        if (Wait.isActive())
            return;
        Wait.setInterval(100);
        QObject::connect(&Wait, &QTimer::timeout, Bar, [this] {
            if (!Bar->isVisible())
                return;
            Wait.stop();
            Wait.disconnect();
            Bar->showMessage(std::exchange(Later, QString()), 8000);
        });
        Wait.start();
    }

private:
    QStatusBar* Bar;
    QString Later;
    QTimer Wait;
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
    Groups = std::make_unique<TGroupSteps>(this, *History, *Steps, *StepQuestions);
    History->Open(QFileInfo(IniFileName()).path() + QStringLiteral("/Velmo.journal"));
    Steps->Recover();
    Groups->Recover();
    if (!History->SetAsideName().isEmpty() || History->InUse())
        StepQuestions->Note(
            History->InUse()
                ? QStringLiteral("別のヴェルモ！が履歴を使用中のため、このウィンドウの操作は"
                                 "次に起動したときには元に戻せません。")
                : QStringLiteral("履歴ファイルを読めないため、") +
                      DisplayPath(QFileInfo(History->SetAsideName()).fileName()) +
                      QStringLiteral(" として残し、新しく始めます。"));
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
    actUndo->setText(Groups ? Groups->UndoCaption() : UndoCaption(undo));
    actUndo->setEnabled(undo != nullptr);
    actRedo->setText(Groups ? Groups->RedoCaption() : RedoCaption(redo));
    actRedo->setEnabled(redo != nullptr);
}

void TfrmVelmo::actUndoExecute() {
    StepHistory(&TGroupSteps::Undo);
}

void TfrmVelmo::actRedoExecute() {
    StepHistory(&TGroupSteps::Redo);
}

void TfrmVelmo::StepHistory(bool (TGroupSteps::*step)()) {
    Command([this, step] {
        TGate gate(*this);
        ListFocusPending = true;
        TBusyCursor busy;
        ProcessMessages();
        (GroupSteps().*step)();
        FollowFiles(Groups->Touched);
        UpdateUndoActions();
    });
}

void TfrmVelmo::FollowFiles(const QStringList& paths) {
    if (IniRec.CurrentPath.isEmpty())
        return;
    // The items the files belong to: a companion's is its lead's.
    QStringList names;
    QHash<QString, QStringList> companions;
    for (const QString& path : paths) {
        const QString name = QFileInfo(path).fileName();
        if (name.isEmpty() || JoinPath(IniRec.CurrentPath, name) != path)
            continue; // not in the open folder
        const TFileGroup group = IniRec.Group != 0 ? GroupAround(name) : TFileGroup{name, {}};
        const QString item = group.Lead.isEmpty() ? name : group.Lead;
        if (!names.contains(item))
            names << item;
        companions.insert(item, group.Companions);
    }
    for (const QString& name : std::as_const(names)) {
        const QString path = JoinPath(IniRec.CurrentPath, name);
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
                SetFileItemCompanions(item, companions.value(name));
            }
            LastIndex = LastIndex + 1;
            if (ShownIndex >= lo)
                ++ShownIndex;
            staPanels[0]->setText(FileCountText(lstFile->count()));
            SelectIndex(lo);
            ShowPicture(lo);
            UpdateDeleteAction();
        } else if (there && at >= 0) {
            // Listed still: its companions may have come or gone.
            SetFileItemCompanions(lstFile->item(at), companions.value(name));
            if (at == ShownIndex)
                staPanels[1]->setText(DisplayPath(FileNamePanelText(path, IniRec.FileName)) +
                                      CompanionMarkOf(at));
        }
    }
}
