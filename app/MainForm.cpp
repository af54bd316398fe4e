// Building the window's components: actions, menus, tool bars, panes and the
// status bar, laid out as the window's design places them.
#include "app/Main.h"

#include "app/FileListDelegate.h"
#include "app/ImageView.h"
#include "app/MainRules.h"
#include "app/OutFolderSlots.h"
#include "app/Splitter.h"
#include "app/ViewNotice.h"
#include "shelltree/ShellCtrls.h"
#include "toolkit/IconSet.h"
#include "toolkit/Picture.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScrollArea>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
QAction* MakeAction(QObject* owner, const char* name, const QString& caption, const QString& hint,
                    int image, const QKeySequence& shortcut) {
    auto* action = new QAction(caption, owner);
    action->setObjectName(QString::fromLatin1(name));
    action->setToolTip(hint);
    if (image >= 0)
        action->setIcon(ToolBarIcon(image));
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
    }
    return action;
}

QWidget* MakePanel(const char* name, QWidget* parent) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(QString::fromLatin1(name));
    return panel;
}

const int kStatusWidths[5] = {65, 100, 70, 60, 130};
} // namespace

// Puts an action into a menu. The shortcut column shows every key of the
// action, which a menu does only for the first: an action with several keys
// gets an item of its own that follows it and names them all.
void AddMenuItem(QMenu* menu, QAction* action) {
    const QList<QKeySequence> keys = action->shortcuts();
    if (keys.size() < 2) {
        menu->addAction(action);
        return;
    }
    // The keys' own names: the toolkit's Japanese ones misspell some.
    QStringList names;
    for (const QKeySequence& key : keys)
        names << key.toString(QKeySequence::PortableText);
    QAction* item =
        menu->addAction(action->icon(), action->text() + QLatin1Char('\t') + names.join(", "));
    item->setObjectName(QStringLiteral("mnu") + action->objectName().mid(3));
    item->setEnabled(action->isEnabled());
    QObject::connect(item, &QAction::triggered, action, &QAction::trigger);
    QObject::connect(action, &QAction::enabledChanged, item, &QAction::setEnabled);
}

void TfrmVelmo::CreateComponents() {
    CreateActions();
    CreateMenus();
    CreateEditMenu();
    CreateToolBars();
    CreatePanes();
    CreateStatusBar();
    ConnectHandlers();
}

void TfrmVelmo::CreateActions() {
    const QString menu = QStringLiteral("メニュー");
    actPrev = MakeAction(this, "actPrev", QStringLiteral("前へ(&P)"), QStringLiteral("前へ"), 0,
                         QKeySequence(Qt::Key_P));
    actNext = MakeAction(this, "actNext", QStringLiteral("次へ(&N)"), QStringLiteral("次へ"), 1,
                         QKeySequence(Qt::Key_N));
    actCopy = MakeAction(this, "actCopy", QStringLiteral("コピーモード(&C)"),
                         QStringLiteral("コピーモード"), 2, {});
    actMove = MakeAction(this, "actMove", QStringLiteral("移動モード(&M)"),
                         QStringLiteral("移動モード"), 3, {});
    actExit = MakeAction(this, "actExit", QStringLiteral("終了(&X)"), QStringLiteral("終了"), 4,
                         QKeySequence(Qt::CTRL | Qt::Key_X));
    actOption = MakeAction(this, "actOption", QStringLiteral("オプション(&O)"),
                           QStringLiteral("オプション設定"), 5, {});
    actHelp = MakeAction(this, "actHelp", QStringLiteral("ヘルプ(&H)"), QStringLiteral("ヘルプ"), 6,
                         QKeySequence(Qt::Key_F1));
    actDelete = MakeAction(this, "actDelete", QStringLiteral("削除(&D)"), QStringLiteral("削除"), 7,
                           QKeySequence(Qt::Key_D));
    actTree = MakeAction(this, "actTree", QStringLiteral("ツリーの表示(&T)"),
                         QStringLiteral("ツリーの表示"), 8, QKeySequence(Qt::CTRL | Qt::Key_T));
    actOutFolButton = MakeAction(
        this, "actOutFolButton", QStringLiteral("出力フォルダボタンの表示(&F)"),
        QStringLiteral("出力フォルダボタンの表示"), 9, QKeySequence(Qt::CTRL | Qt::Key_B));
    actReNew = MakeAction(this, "actReNew", QStringLiteral("最新の情報に更新(&R)"),
                          QStringLiteral("最新の情報に更新"), -1, QKeySequence(Qt::Key_F5));
    actAbout = MakeAction(this, "actAbout", QStringLiteral("バージョン情報(&A)"),
                          QStringLiteral("バージョン情報"), -1, {});
    actFirst = MakeAction(this, "actFirst", QStringLiteral("最初へ(&I)"), QStringLiteral("最初へ"),
                          -1, QKeySequence(Qt::Key_Home));
    actLast = MakeAction(this, "actLast", QStringLiteral("最後へ(&L)"), QStringLiteral("最後へ"),
                         -1, QKeySequence(Qt::Key_End));
    actFullScreen = MakeAction(this, "actFullScreen", QStringLiteral("全画面表示(&U)"),
                               QStringLiteral("全画面表示"), -1, QKeySequence(Qt::Key_F11));
    // Every viewer's keys beside the described ones.
    actPrev->setShortcuts(ViewerKeys(vcPrev));
    actNext->setShortcuts(ViewerKeys(vcNext));
    actDelete->setShortcuts(ViewerKeys(vcDelete));
    actExit->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::CTRL | Qt::Key_Q)});
    for (QAction* a : {actCopy, actMove, actTree, actOutFolButton, actFullScreen})
        a->setCheckable(true);
    for (QAction* a :
         {actPrev, actNext, actCopy, actMove, actExit, actOption, actHelp, actDelete, actTree,
          actOutFolButton, actReNew, actAbout, actFirst, actLast, actFullScreen}) {
        a->setProperty("category", menu);
        addAction(a); // shortcuts work with the menu bar hidden or the tool bars moved
    }
}

void TfrmVelmo::CreateMenus() {
    menuBar()->setObjectName(QStringLiteral("mnuMain"));
    mnuFile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFile->addAction(actCopy);
    mnuFile->addAction(actMove);
    AddMenuItem(mnuFile, actDelete);
    mnuFile->addSeparator();
    mnuFile->addAction(actExit);

    mnuView = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    AddMenuItem(mnuView, actPrev);
    AddMenuItem(mnuView, actNext);
    mnuView->addAction(actFirst);
    mnuView->addAction(actLast);
    mnuView->addSeparator();
    mnuView->addAction(actFullScreen);
    CreateZoomActions();
    mnuView->addSeparator();
    mnuView->addAction(actTree);
    mnuView->addAction(actOutFolButton);
    CreateOrderMenu();
    mnuView->addSeparator();
    mnuView->addAction(actReNew);
    mnuView->addSeparator();
    QAction* optionItem =
        mnuView->addAction(actOption->icon(), QStringLiteral("オプション(&O)..."));
    optionItem->setObjectName(QStringLiteral("mnuOption"));
    connect(optionItem, &QAction::triggered, actOption, &QAction::trigger);
    connect(actOption, &QAction::enabledChanged, optionItem, &QAction::setEnabled);

    CreateSetsMenu();
    mnuHelp = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelp->addAction(actHelp);
    QAction* aboutItem = mnuHelp->addAction(QStringLiteral("バージョン情報(&A)..."));
    aboutItem->setObjectName(QStringLiteral("mnuAbout"));
    connect(aboutItem, &QAction::triggered, actAbout, &QAction::trigger);
}

void TfrmVelmo::CreateToolBars() {
    auto makeBar = [this](const char* name) {
        auto* bar = new QToolBar(this);
        bar->setObjectName(QString::fromLatin1(name));
        bar->setMovable(true);
        bar->setFloatable(false);
        bar->setAllowedAreas(Qt::TopToolBarArea);
        bar->setIconSize(QSize(16, 16));
        bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        addToolBar(Qt::TopToolBarArea, bar);
        return bar;
    };
    auto addButton = [](QToolBar* bar, QAction* action, const char* name) {
        bar->addAction(action);
        if (QWidget* button = bar->widgetForAction(action))
            button->setObjectName(QString::fromLatin1(name));
    };
    tlbAction = makeBar("tlbAction");
    addButton(tlbAction, actPrev, "tbtPrev");
    addButton(tlbAction, actNext, "tbtNext");
    tlbAction->addSeparator();
    addButton(tlbAction, actCopy, "tbtCopy");
    addButton(tlbAction, actMove, "tbtMove");
    tlbAction->addSeparator();
    addButton(tlbAction, actDelete, "tbtDelete");

    tlbMain = makeBar("tlbMain");
    addButton(tlbMain, actTree, "tbtTree");
    addButton(tlbMain, actOutFolButton, "tbtOutFolButton");
    tlbMain->addSeparator();
    addButton(tlbMain, actOption, "tbtOption");
    tlbMain->addSeparator();
    addButton(tlbMain, actHelp, "tbtHelp");
    addButton(tlbMain, actExit, "tbtExit");
}

void TfrmVelmo::CreatePanes() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("pnlClient"));
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    // Left: the folder tree above the file list.
    pnlLeft = MakePanel("pnlLeft", central);
    pnlLeft->setFixedWidth(200);
    auto* column = new QVBoxLayout(pnlLeft);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    pnlLeftTop = MakePanel("pnlLeftTop", pnlLeft);
    pnlLeftTop->setFixedHeight(250);
    auto* topLayout = new QVBoxLayout(pnlLeftTop);
    topLayout->setContentsMargins(0, 0, 0, 0);
    stvMain = new TShellTreeView(pnlLeftTop);
    stvMain->setObjectName(QStringLiteral("stvMain"));
    topLayout->addWidget(stvMain);
    splLeft = new TSplitter(Qt::Horizontal, pnlLeft);
    splLeft->setObjectName(QStringLiteral("splLeft"));
    pnlLeftBot = MakePanel("pnlLeftBot", pnlLeft);
    auto* botLayout = new QVBoxLayout(pnlLeftBot);
    botLayout->setContentsMargins(0, 0, 0, 0);
    lstFile = new QListWidget(pnlLeftBot);
    lstFile->setObjectName(QStringLiteral("lstFile"));
    lstFile->setUniformItemSizes(true);
    lstFile->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    lstFile->setSelectionMode(QAbstractItemView::SingleSelection);
    botLayout->addWidget(lstFile);
    column->addWidget(pnlLeftTop);
    column->addWidget(splLeft);
    column->addWidget(pnlLeftBot, 1);

    splMain = new TSplitter(Qt::Vertical, central);
    splMain->setObjectName(QStringLiteral("splMain"));

    // Middle: the picture in its scroll box.
    scbMain = new QScrollArea(central);
    scbMain->setObjectName(QStringLiteral("scbMain"));
    scbMain->setWidgetResizable(false);
    scbMain->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgMain = new TImage;
    imgMain->setObjectName(QStringLiteral("imgMain"));
    imgMain->resize(0, 0);
    scbMain->setWidget(imgMain);
    lblNotice = new TViewNotice(scbMain->viewport());
    lblNotice->setObjectName(QStringLiteral("lblNotice"));

    // Right: the output-folder buttons, stacked from the top, a row of ten
    // beside the other.
    pnlOutFolButton = MakePanel("pnlOutFolButton", central);
    pnlOutFolButton->setFixedWidth(OutFolButtonWidth);
    for (int i = 0; i < OutFolderCount; ++i) {
        auto* button = new QToolButton(pnlOutFolButton);
        button->setObjectName(QStringLiteral("spbNo%1").arg(i));
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setIcon(OutFolderGlyph(i % OutFolderRowSize));
        button->setIconSize(QSize(16, 16));
        button->setGeometry(i / OutFolderRowSize * OutFolButtonWidth,
                            i % OutFolderRowSize * OutFolButtonHeight, OutFolButtonWidth,
                            OutFolButtonHeight);
        button->setFocusPolicy(Qt::NoFocus);
        spbNo[size_t(i)] = button;
    }
    // Over the buttons while none is set: how to set one. Clicks go through
    // to the pane, whose pop-up menu sets them.
    auto* hint = new QLabel(QStringLiteral("出力フォルダが未設定です。\n\nここを右クリック → 設定"),
                            pnlOutFolButton);
    hint->setObjectName(QStringLiteral("lblOutFolHint"));
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignCenter);
    hint->setGeometry(2, 0, 68, 400);
    hint->setAutoFillBackground(true);
    hint->setAttribute(Qt::WA_TransparentForMouseEvents);

    row->addWidget(pnlLeft);
    row->addWidget(splMain);
    row->addWidget(scbMain, 1);
    row->addWidget(pnlOutFolButton);
    setCentralWidget(central);

    // Popup menus.
    pmnImage = new QMenu(this);
    pmnImage->setObjectName(QStringLiteral("pmnImage"));
    pmnImageOriginal = pmnImage->addAction(QStringLiteral("原寸大で表示する(&O)"));
    pmnImageOriginal->setObjectName(QStringLiteral("pmnImageOriginal"));
    pmnImageOriginal->setCheckable(true);
    pmnImageStretch = pmnImage->addAction(QStringLiteral("フォームの大きさに合わせる(&S)"));
    pmnImageStretch->setObjectName(QStringLiteral("pmnImageStretch"));
    pmnImageStretch->setCheckable(true);
    pmnOutFolButton = new QMenu(this);
    pmnOutFolButton->setObjectName(QStringLiteral("pmnOutFolButton"));
    pmnOutFolButtonOption = pmnOutFolButton->addAction(QStringLiteral("設定(&S)"));
    pmnOutFolButtonOption->setObjectName(QStringLiteral("pmnOutFolButtonOption"));
    for (QWidget* w : {static_cast<QWidget*>(scbMain), static_cast<QWidget*>(imgMain)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint& at) { pmnImage->popup(w->mapToGlobal(at)); });
    }
    pnlOutFolButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(pnlOutFolButton, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmnOutFolButton->popup(pnlOutFolButton->mapToGlobal(at)); });
}

void TfrmVelmo::CreateStatusBar() {
    staMain = new QStatusBar(this);
    staMain->setObjectName(QStringLiteral("staMain"));
    staMain->setSizeGripEnabled(false);
    staMain->setFixedHeight(19);
    staMain->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 5; ++i) {
        auto* panel = new QLabel(staMain);
        panel->setObjectName(QStringLiteral("staPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (i == 1) {
            // Panel 1 takes whatever room the others leave; a fixed width
            // would stop the window from ever getting narrower.
            panel->setMinimumWidth(0);
            panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        } else {
            // At least as wide as designed; wider when a text would be cut.
            panel->setMinimumWidth(kStatusWidths[i]);
        }
        panel->setTextFormat(Qt::PlainText);
        panel->setContentsMargins(1, 0, 1, 0);
        staMain->addWidget(panel, i == 1 ? 1 : 0);
        staPanels[size_t(i)] = panel;
    }
    setStatusBar(staMain);
    pgbMain = new QProgressBar(staMain);
    pgbMain->setObjectName(QStringLiteral("pgbMain"));
    pgbMain->setRange(0, 100);
    pgbMain->setTextVisible(false);
    pgbMain->hide();
}

void TfrmVelmo::PlaceToolBars() {
    const bool twoLines = qAbs(ToolBarPlace[0] - ToolBarPlace[2]) >= 15;
    const bool actionFirst =
        twoLines ? ToolBarPlace[0] <= ToolBarPlace[2] : ToolBarPlace[1] <= ToolBarPlace[3];
    QToolBar* first = actionFirst ? tlbAction : tlbMain;
    QToolBar* second = actionFirst ? tlbMain : tlbAction;
    removeToolBar(tlbAction);
    removeToolBar(tlbMain);
    addToolBar(Qt::TopToolBarArea, first);
    if (twoLines)
        addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, second);
    first->show();
    second->show();
}

void TfrmVelmo::ConnectHandlers() {
    connect(actPrev, &QAction::triggered, this, &TfrmVelmo::actPrevExecute);
    connect(actNext, &QAction::triggered, this, &TfrmVelmo::actNextExecute);
    connect(actCopy, &QAction::triggered, this, &TfrmVelmo::actCopyExecute);
    connect(actMove, &QAction::triggered, this, &TfrmVelmo::actMoveExecute);
    connect(actExit, &QAction::triggered, this, &TfrmVelmo::actExitExecute);
    connect(actOption, &QAction::triggered, this, &TfrmVelmo::actOptionExecute);
    connect(actHelp, &QAction::triggered, this, &TfrmVelmo::actHelpExecute);
    connect(actDelete, &QAction::triggered, this, &TfrmVelmo::actDeleteExecute);
    connect(actTree, &QAction::triggered, this, &TfrmVelmo::actTreeExecute);
    connect(actOutFolButton, &QAction::triggered, this, &TfrmVelmo::actOutFolButtonExecute);
    connect(actReNew, &QAction::triggered, this, &TfrmVelmo::actReNewExecute);
    connect(actAbout, &QAction::triggered, this, &TfrmVelmo::actAboutExecute);
    connect(actFirst, &QAction::triggered, this, &TfrmVelmo::actFirstExecute);
    connect(actLast, &QAction::triggered, this, &TfrmVelmo::actLastExecute);
    connect(actFullScreen, &QAction::triggered, this, &TfrmVelmo::actFullScreenExecute);
    // The first and the last picture are there to go to exactly when the
    // one before and the one after are.
    connect(actPrev, &QAction::enabledChanged, actFirst, &QAction::setEnabled);
    connect(actNext, &QAction::enabledChanged, actLast, &QAction::setEnabled);
    connect(pmnImageOriginal, &QAction::triggered, this, &TfrmVelmo::pmnImageOriginalClick);
    connect(pmnImageStretch, &QAction::triggered, this, &TfrmVelmo::pmnImageStretchClick);
    connect(pmnOutFolButtonOption, &QAction::triggered, this,
            &TfrmVelmo::pmnOutFolButtonOptionClick);
    connect(stvMain, &TShellTreeView::Change, this, &TfrmVelmo::stvMainChange);
    // The tree makes its root now and reports it, before the creation handler.
    stvMain->Loaded();
    connect(lstFile, &QListWidget::currentRowChanged, this, &TfrmVelmo::lstFileClick);
    connect(lstFile, &QListWidget::itemClicked, this, &TfrmVelmo::lstFileClick);
    connect(imgMain, &TImage::MouseDown, this, &TfrmVelmo::imgMainMouseDown);
    connect(imgMain, &TImage::MouseMove, this, &TfrmVelmo::imgMainMouseMove);
    connect(imgMain, &TImage::MouseUp, this, &TfrmVelmo::imgMainMouseUp);
    for (int i = 0; i < OutFolderCount; ++i)
        connect(spbNo[size_t(i)], &QToolButton::clicked, this, [this, i] { spbNo0Click(i + 1); });

    splMain->Size = [this] { return pnlLeft->maximumWidth(); };
    splMain->Resize = [this](int w) { pnlLeft->setFixedWidth(w); };
    splMain->CanResize = [this](int w) { return splMainCanResize(w); };
    splLeft->Size = [this] { return pnlLeftTop->maximumHeight(); };
    splLeft->Resize = [this](int h) { pnlLeftTop->setFixedHeight(h); };
    splLeft->CanResize = [this](int h) { return splMainCanResize(h); };

    imgMain->ScaledImage = [this](QSize size) { return FPicture->ScaledImage(size); };
    FPicture->SetDecodeHint([this](QSize natural) { return DisplaySizeFor(natural); });
    // A picture shown at its own size is drawn as far as it is decoded.
    FPicture->SetFirstViewHint([this](QSize natural) { return FirstViewOf(natural); });
    imgMain->ReadyRect = [this] { return ReadyPart(); };
    FPicture->OnGrow = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                imgMain->ShowReady();
                TellIfDamaged();
            },
            Qt::QueuedConnection);
    };
    FPicture->OnProgress = [this](TGraphic*, TProgressStage stage, quint8 percent, bool,
                                  const QRect&,
                                  const QString&) { imgMainProgress(int(stage), int(percent)); };
    lstFile->setItemDelegate(new TFileListDelegate(this, lstFile));
    qApp->installEventFilter(this);
}
