#pragma once

#include "platform/MessageBox.h"

#include <QMainWindow>
#include <array>
#include <memory>
#include <optional>
#include <utility>

class QAction;
class QKeyEvent;
class QLabel;
class QListWidget;
class QMenu;
class QProgressBar;
class QScrollArea;
class QStatusBar;
class QToolBar;
class QToolButton;
class QWidget;
class TImage;
class TViewNotice;
class TPicture;
class TPreloader;
struct TDisplayFit;
class TShellTreeView;
class TSplitter;
class TSPIs;
class TSPI;
class TInSPI;
struct TGraphicClassInfo;
class THistory;
class TFileSteps;
class TStepQuestions;

// The one window of the program.
class TfrmVelmo : public QMainWindow {
    Q_OBJECT

public:
    explicit TfrmVelmo(QWidget* parent = nullptr);
    ~TfrmVelmo() override;

    // Components, named as the window's design names them.
    QToolBar* tlbAction = nullptr;
    QToolBar* tlbMain = nullptr;
    QWidget* pnlLeft = nullptr;
    QWidget* pnlLeftTop = nullptr;
    TShellTreeView* stvMain = nullptr;
    TSplitter* splLeft = nullptr;
    QWidget* pnlLeftBot = nullptr;
    QListWidget* lstFile = nullptr;
    TSplitter* splMain = nullptr;
    QScrollArea* scbMain = nullptr;
    TImage* imgMain = nullptr;
    TViewNotice* lblNotice = nullptr; // over the view when a file cannot be shown
    QWidget* pnlOutFolButton = nullptr;
    std::array<QToolButton*, 10> spbNo{};
    QStatusBar* staMain = nullptr;
    std::array<QLabel*, 5> staPanels{};
    QProgressBar* pgbMain = nullptr;
    TSPIs* SPIs1 = nullptr;

    QAction* actPrev = nullptr;
    QAction* actNext = nullptr;
    QAction* actCopy = nullptr;
    QAction* actMove = nullptr;
    QAction* actExit = nullptr;
    QAction* actOption = nullptr;
    QAction* actHelp = nullptr;
    QAction* actDelete = nullptr;
    QAction* actTree = nullptr;
    QAction* actOutFolButton = nullptr;
    QAction* actReNew = nullptr;
    QAction* actAbout = nullptr;
    QAction* actUndo = nullptr;
    QAction* actRedo = nullptr;
    QAction* actFirst = nullptr;
    QAction* actLast = nullptr;
    QAction* actFullScreen = nullptr;

    QMenu* mnuFile = nullptr;
    QMenu* mnuEdit = nullptr;
    QMenu* mnuView = nullptr;
    QMenu* mnuHelp = nullptr;
    QMenu* pmnImage = nullptr;
    QAction* pmnImageOriginal = nullptr;
    QAction* pmnImageStretch = nullptr;
    QMenu* pmnOutFolButton = nullptr;
    QAction* pmnOutFolButtonOption = nullptr;

    // Window state.
    std::array<QToolButton*, 10> OutFolButtons{};
    int LastIndex = -1;
    int ShownIndex = -10;
    int SplMainPos = 200;
    int OptionPage = 0;
    bool Dragging = false;
    int DragX = 0;
    int DragY = 0;

    // Start-up and frame.
    void FormCreate();
    // Opens a start argument handed over by a later start, as FormCreate
    // opens the command line's: its folder and the first picture.
    void OpenStartArgument(const QString& argument);
    void ApplySettings();
    void ShowTree(int flag);
    void ShowOutFolButton(int flag);
    void SetMode(int flag);
    bool splMainCanResize(int newSize);
    void FormResize();
    void FormClose();

    // Folder scan and file list.
    void BuildDispExt();
    int ScanFolder(const QString& folder);
    // Opens on the given picture (a full path) when it is listed, else on
    // the first.
    void OpenFolder(const QString& folder, const QString& picture = QString());
    void UpdateDeleteAction();
    int HorizontalExtent() const { return ListExtent; }

    // Picture view.
    void ShowPicture(int index);
    void FitPicture();
    void ShowActualSize();
    void StretchToWindow();
    // The size a picture of the given natural size is shown at now.
    QSize DisplaySizeFor(QSize natural) const;
    TPicture& Picture() { return *FPicture; }
    // The pictures decoded ahead of the keys that show them.
    TPreloader& Preloads() { return *Preload; }

    // Sorting.
    void CopyToOutFolder(int n);
    void MoveToOutFolder(int n);
    // Whether a key event is an output-folder digit that was handled.
    bool FormShortCut(int qtKey, quint32 nativeScanCode, Qt::KeyboardModifiers modifiers);

    // Undo and redo (MainUndo.cpp): the history read from the journal at
    // start, the file steps with the current clash settings, the captions.
    void OpenHistory();
    TFileSteps& FileSteps();
    void UpdateUndoActions();
    // Undoes or redoes one step, then follows the files it touched.
    void StepHistory(bool (TFileSteps::*step)());
    // Lists and shows files of the open folder that came back, takes out
    // those that left.
    void FollowFiles(const QStringList& paths);
    // Full screen: the picture alone on black, every key still working.
    bool IsFullScreen() const { return FullScreenSaved.has_value(); }
    void EnterFullScreen();
    void LeaveFullScreen();

    // Whether a folder scan, a picture load or a file operation is under way.
    bool Busy() const { return GateDepth > 0; }

public slots:
    void actExitExecute();
    void actHelpExecute();
    void actAboutExecute();
    void actOptionExecute();
    void actTreeExecute();
    void actOutFolButtonExecute();
    void pmnOutFolButtonOptionClick();
    void lstFileClick();
    void actPrevExecute();
    void actNextExecute();
    void actReNewExecute();
    void actFirstExecute();
    void actLastExecute();
    void actFullScreenExecute();
    void stvMainChange();
    void pmnImageOriginalClick();
    void pmnImageStretchClick();
    void imgMainProgress(int stage, int percent);
    void imgMainMouseDown(int x, int y);
    void imgMainMouseMove(int x, int y);
    void imgMainMouseUp(int x, int y);
    void spbNo0Click(int slot);
    void actCopyExecute();
    void actMoveExecute();
    void actDeleteExecute();
    void actUndoExecute();
    void actRedoExecute();
    void SPIs1Search(TSPIs* sender, TSPI* plugin, bool& accept);
    void SPIs1PictureRegister(TSPIs* sender, TInSPI* plugin, const QString& extension,
                              const QString& description, const TGraphicClassInfo*& graphicClass);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateComponents();
    void CreateActions();
    void CreateMenus();
    void CreateEditMenu();
    void CreateToolBars();
    void CreatePanes();
    void CreateStatusBar();
    void CreatePlugins();
    // Windows plug-ins learned after start: the extensions and the list anew.
    void PluginsAdded();
    void ShowPluginNotice(const QString& text);
    void ConnectHandlers();
    // Lays the two tool bars out from ToolBarPlace: one line when their tops
    // are close, two lines otherwise; left to right by their left edges.
    void PlaceToolBars();
    std::array<int, 4> ToolBarPlace{2, 11, 2, 125}; // action top, left; main top, left
    void TakeOutSelectedItem();
    bool OutFolderChecks(int n);
    // Source and target of slot n for the selected file.
    void OutFolderTarget(int n, QString& source, QString& target);
    int SelectedIndex() const;
    void SelectIndex(int index);
    QString SelectedText() const;

    // One step at a time. A scan, a load and a file operation each hold the
    // gate for all of their steps, the message boxes they show included.
    // Commands that arrive meanwhile are dropped; a folder picked in the tree
    // and a refit of the picture wait until the gate is free again.
    class TGate {
    public:
        explicit TGate(TfrmVelmo& form) : Form(form) { ++Form.GateDepth; }
        ~TGate() {
            if (--Form.GateDepth == 0)
                Form.GateOpened();
        }
        TGate(const TGate&) = delete;
        TGate& operator=(const TGate&) = delete;

    private:
        TfrmVelmo& Form;
    };
    // Runs a command of the user, unless the window is busy.
    template <typename F> void Command(F&& body) {
        if (Busy())
            return;
        TGate gate(*this);
        try {
            body();
        } catch (...) {
            ListFocusPending = true;
            HandleException(std::current_exception());
        }
    }
    void GateOpened();
    // A digit key that came while the window was busy: it sorts the picture
    // that was selected when it came, once the window is free, if that
    // picture is still the selected one; otherwise it is refused aloud.
    void HoldDigit(const QKeyEvent* key);
    void RefuseDigit(int digit);
    // Marks the picture's size on the status bar when the decoder had to
    // patch over damaged or missing data.
    void TellIfDamaged();
    // Tells on the status bar that a start argument names nothing.
    void TellIfMissing(const QString& argument);
    int HeldDigit = -1;
    QString HeldDigitFile;
    // Refits after the view's size changed, or once the window is free.
    void Refit();
    // Keys for the window that a control must not take as typing.
    bool SwallowKey(QObject* watched, QKeyEvent* key);

    friend class TMainSettingsWindow;

    std::unique_ptr<THistory> History;
    std::unique_ptr<TStepQuestions> StepQuestions;
    std::unique_ptr<TFileSteps> Steps;
    std::unique_ptr<TPicture> FPicture;
    std::unique_ptr<TPreloader> Preload;
    // The file of list item i.
    QString PicturePath(int i) const;
    // What the display settings and the view make of a picture now.
    TDisplayFit CurrentFit() const;
    // Asks for the pictures next and previous to item i (none for -1).
    void PreloadAround(int i);
    // FitPicture without asking for new preloads.
    void LayOutPicture();
    // The view after file i failed to load: no picture, a notice, and the
    // status panels naming the file.
    void ShowLoadFailure(int i, const QString& reason);
    // The part of a picture of the natural size the view shows first, when
    // it shows it at that size (else empty), and the part of the picture on
    // show that is decoded (empty: all of it).
    QRect FirstViewOf(QSize natural) const;
    QRect ReadyPart() const;
    int GateDepth = 0;
    bool FolderChangePending = false;
    bool RefitPending = false;
    bool ListFocusPending = false;
    bool ClosePending = false;
    int ListExtent = 4;
    std::pair<bool, bool> PopupChecks{false, false}; // original, stretch
    // What full screen hid, to be shown again when it ends.
    struct TFullScreenSaved {
        Qt::WindowStates State;
        QPoint Pos;
        QSize Size;
        QList<QWidget*> Hidden;
    };
    std::optional<TFullScreenSaved> FullScreenSaved;
    void SetPopupChecks(bool original, bool stretch);
};
