#pragma once

#include "platform/MessageBox.h"
#include "settings/Settings.h"

#include <QImage>
#include <QMainWindow>
#include <QPointF>
#include <QSize>
#include <QStringList>
#include <QtContainerFwd>
#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

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
class TLegend;
class TFlash;
class QWheelEvent;
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
class TTakenReader;
class TThumbnailList;
struct TTakenFacts;
class TGroupSteps;
class QFileSystemWatcher;
class QTimer;
struct TFileGroup;

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
    std::array<QToolButton*, OutFolderCount> spbNo{};
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
    QAction* actZoomIn = nullptr;
    QAction* actZoomOut = nullptr;
    QAction* actZoomToggle = nullptr;
    QAction* actLegend = nullptr;
    QAction* actCompare = nullptr;

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
    std::array<QToolButton*, OutFolderCount> OutFolButtons{};
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
    // The output-folder buttons as the slots are now.
    void ShowOutFolders();
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
    // Undoes or redoes one step (a group's steps together), then follows
    // the files it touched.
    void StepHistory(bool (TGroupSteps::*step)());
    // Lists and shows files of the open folder that came back, takes out
    // those that left.
    void FollowFiles(const QStringList& paths);
    // Same-named files as one item (MainGroups.cpp): the file steps of a
    // group, the selected item's files (its lead's path first), its name
    // with its marks, and the marks of item i for the status bar.
    TGroupSteps& GroupSteps();
    QStringList SelectedGroup() const;
    QString SelectedLabel() const;
    QString CompanionMarkOf(int i) const;
    // The listed item a file of the open folder belongs to, read from the
    // folder now (an empty lead when none).
    TFileGroup GroupAround(const QString& name) const;
    // Turns a folder's file names into the names listed, each group's
    // companions aside; names only a group uses pass GroupCandidate.
    static void GroupNames(const QString& folder, std::vector<QString>& names,
                           QHash<QString, QStringList>& companions);
    static bool GroupCandidate(const QString& name);
    // Watches the open folder so a companion added meanwhile joins its item.
    void WatchFolder(const QString& folder);
    void RefreshCompanions();
    // Full screen: the picture alone on black, every key still working.
    bool IsFullScreen() const { return FullScreenSaved.has_value(); }
    void EnterFullScreen();
    void LeaveFullScreen();

    // Zoom at the pointer (MainZoom.cpp). ViewScale is the scale the picture
    // is shown at, 0 while it follows the chosen display.
    double ViewScale = 0;
    // The scale the chosen display shows the picture at (the smaller one of
    // a stretch that loses proportions).
    double ChosenScale() const;
    // Zooms to the scale keeping the picture's pixel under the point of the
    // view's viewport there; the chosen display's own scale goes back to it.
    void ZoomTo(double scale, QPointF pointer);
    // One step in (direction > 0) or out, at the point.
    void ZoomBy(int direction, QPointF pointer);
    // The pointer in the viewport, or its middle when the pointer is outside.
    QPointF ZoomPointer() const;
    // The output-folder legend over the view, and the flash after a digit.
    bool LegendVisible() const;
    void UpdateLegend();
    void FlashTarget(int slot);
    TLegend* lgdSlots = nullptr;
    TFlash* lblFlash = nullptr;
    // Compare (MainCompare.cpp): the picture pinned to the left half, at the
    // right half's scale and place, while the right half steps on.
    QScrollArea* scbPinned = nullptr;
    TImage* imgPinned = nullptr;
    bool Comparing() const;
    void LeaveCompare();

    // Whether a folder scan, a picture load or a file operation is under way.
    bool Busy() const { return GateDepth > 0; }

    // The list's order (MainOrder.cpp): by name, or by the time taken, read
    // in the background once the first picture shows.
    QAction* actOrderName = nullptr;
    QAction* actOrderTaken = nullptr;
    QAction* actThumbnails = nullptr;
    TThumbnailList* Thumbs = nullptr;
    // Folder sets (MainSets.cpp): the set in use, saving and switching.
    QMenu* mnuSetting = nullptr;
    QString FolderSetName;
    void UseFolderSet(const QString& name, bool remember);
    void SaveFolderSetAs(const QString& name);
    void SetOrder(int order);
    // Whether the list is in the order the settings ask for.
    bool OrderSettled() const;

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
    void actZoomInExecute();
    void actZoomOutExecute();
    void actZoomToggleExecute();
    void actLegendExecute();
    void actCompareExecute();
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
    void CreateOrderMenu();
    void CreateSetsMenu();
    // After a scan: the list's look and order for the new files.
    void ListOpened();
    void StartTakenOrder();
    void ApplyTakenOrder(const QString& folder, const QStringList& names,
                         const std::vector<TTakenFacts>& facts);
    TTakenReader* TakenReader = nullptr;
    bool TakenOrderPending = false;
    void CreateToolBars();
    void CreatePanes();
    void CreateStatusBar();
    void CreatePlugins();
    // Windows plug-ins learned after start: the extensions and the list anew.
    void PluginsAdded();
    void ShowPluginNotice(const QString& text);
    void ConnectHandlers();
    // The zoom and legend actions, their items in the view menu and overlays.
    void CreateZoomActions();
    // Ctrl with the wheel over the view zooms; true when it was taken.
    bool ZoomWheel(QObject* watched, QWheelEvent* wheel);
    // The picture laid out at ViewScale.
    void ShowZoomed();
    // At a new picture: the zoom stays for one of the same size when asked to.
    void KeepZoomFor(QSize picture);
    // Panel 2: the picture's size, and the scale while zoomed.
    void ShowScaleInStatus();
    QSize ZoomPicture;      // the size of the picture the zoom was chosen on
    int WheelRemainder = 0; // of a wheel that turns in smaller steps than one notch
    bool LegendInWindow = false;
    bool LegendInFullScreen = true;
    // The scale a picture of the size gets from the chosen display in a view.
    double ChosenScaleIn(QSize picture, const QScrollArea* view) const;
    // Lays the pinned picture out at the right half's scale and place.
    void LayOutPinned();
    void MakePinnedView();
    QImage PinnedImage;
    QLabel* lblPinned = nullptr;
    // Lays the two tool bars out from ToolBarPlace: one line when their tops
    // are close, two lines otherwise; left to right by their left edges.
    void PlaceToolBars();
    std::array<int, 4> ToolBarPlace{2, 11, 2, 125}; // action top, left; main top, left
    void TakeOutSelectedItem();
    bool OutFolderChecks(int n);
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
    std::unique_ptr<TGroupSteps> Groups;
    QFileSystemWatcher* FolderWatch = nullptr;
    QTimer* FolderWatchDelay = nullptr;
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
    // A key or the close gave up the plug-in call the picture on its way
    // waited for.
    bool LoadAbandoned = false;
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
