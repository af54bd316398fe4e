#include "platform/Help.h"
#include "platform/PlatformServices.h"

#include "platform/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {
QPointer<THelpWindow> HelpWindowInstance;

const QString HelpCaption = QStringLiteral("ヘルプ");

THelpWindow* HelpWindow() {
    if (!HelpWindowInstance) {
        HelpWindowInstance = new THelpWindow();
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, HelpWindowInstance.data(),
                         &QObject::deleteLater);
    }
    return HelpWindowInstance;
}

bool ShowHelp(const QString& helpFile, const QString& anchor) {
    const QString path = FindHelpBook(helpFile);
    if (path.isEmpty()) {
        QStringList tried;
        for (const QString& folder : HelpSearchFolders())
            tried << QDir(folder).filePath(HelpBookName(helpFile));
        ApplicationMessageBox(QStringLiteral("ヘルプファイルが見つかりません。") + QChar(13) +
                                  tried.join(QChar(13)),
                              HelpCaption, mbWarningOk);
        return false;
    }
    THelpWindow* window = HelpWindow();
    window->FollowModal(QApplication::activeModalWidget());
    window->ShowBook(path, anchor);
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
    return true;
}
} // namespace

QString HelpBookName(const QString& helpFile) {
    return QFileInfo(helpFile).completeBaseName() + QStringLiteral(".html");
}

QString HelpTopicAnchor(int context) {
    return QStringLiteral("topic%1").arg(context);
}

QStringList HelpSearchFolders() {
    return Platform()->HelpSearchFolders();
}

QString FindHelpBook(const QString& helpFile) {
    const QFileInfo given(helpFile);
    QStringList folders = HelpSearchFolders();
    if (given.isAbsolute()) // a help file named with its folder is looked for there first
        folders.prepend(given.absolutePath());
    for (const QString& folder : folders) {
        const QFileInfo book(QDir(folder).filePath(HelpBookName(helpFile)));
        if (book.isFile() && book.isReadable())
            return book.absoluteFilePath();
    }
    return QString();
}

bool HelpContents(const QString& helpFile) {
    return ShowHelp(helpFile, QString());
}

bool HelpContext(const QString& helpFile, int context) {
    return ShowHelp(helpFile, HelpTopicAnchor(context));
}

bool WinHelp(const QString& helpFile, int command, int data) {
    switch (command) {
    case HELP_CONTEXT:
        return HelpContext(helpFile, data);
    case HELP_CONTENTS:
    default:
        return HelpContents(helpFile);
    }
}

THelpWindow* CurrentHelpWindow() {
    return HelpWindowInstance;
}

THelpWindow::THelpWindow(QWidget* parent) : QDialog(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(HelpCaption);
    // Closing the main window ends the program even while help is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(640, 560);

    cmdContents = new QPushButton(QStringLiteral("目次(&C)"), this);
    cmdContents->setObjectName(QStringLiteral("cmdContents"));
    cmdBack = new QPushButton(QStringLiteral("戻る(&B)"), this);
    cmdBack->setObjectName(QStringLiteral("cmdBack"));
    cmdForward = new QPushButton(QStringLiteral("進む(&F)"), this);
    cmdForward->setObjectName(QStringLiteral("cmdForward"));
    for (QPushButton* b : {cmdContents, cmdBack, cmdForward})
        b->setAutoDefault(false);
    txbHelp = new QTextBrowser(this);
    txbHelp->setObjectName(QStringLiteral("txbHelp"));
    txbHelp->setOpenExternalLinks(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdContents);
    buttons->addWidget(cmdBack);
    buttons->addWidget(cmdForward);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(txbHelp);

    cmdBack->setEnabled(false);
    cmdForward->setEnabled(false);
    connect(cmdBack, &QPushButton::clicked, txbHelp, &QTextBrowser::backward);
    connect(cmdForward, &QPushButton::clicked, txbHelp, &QTextBrowser::forward);
    connect(txbHelp, &QTextBrowser::backwardAvailable, cmdBack, &QPushButton::setEnabled);
    connect(txbHelp, &QTextBrowser::forwardAvailable, cmdForward, &QPushButton::setEnabled);
    connect(cmdContents, &QPushButton::clicked, this, [this] {
        if (!txbHelp->source().isEmpty())
            ShowBook(txbHelp->source().toLocalFile(), QString());
    });
    connect(txbHelp, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = txbHelp->documentTitle();
        setWindowTitle(title.isEmpty() ? HelpCaption : title);
    });
}

bool THelpWindow::HasAnchor(const QString& anchor) const {
    for (QTextBlock block = txbHelp->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().anchorNames().contains(anchor))
                return true;
    return false;
}

void THelpWindow::ShowBook(const QString& path, const QString& anchor) {
    const QUrl book = QUrl::fromLocalFile(path);
    QUrl current = txbHelp->source();
    current.setFragment(QString());
    const bool fresh = current != book;
    if (fresh)
        txbHelp->setSource(book);
    QUrl target = book;
    if (!anchor.isEmpty() && HasAnchor(anchor))
        target.setFragment(anchor);
    if (txbHelp->source() != target)
        txbHelp->setSource(target);
    if (fresh) // the way back starts at the page first asked for
        txbHelp->clearHistory();
    if (target.fragment().isEmpty())
        txbHelp->verticalScrollBar()->setValue(0);
    else
        txbHelp->scrollToAnchor(anchor);
}

void THelpWindow::FollowModal(QWidget* modal) {
    if (modal == this)
        return;
    if (modal)
        modal = modal->window();
    if (parentWidget() != modal)
        Reparent(modal);
}

void THelpWindow::Reparent(QWidget* parent) {
    const bool wasVisible = isVisible();
    const QRect frame = geometry();
    if (parentWidget())
        parentWidget()->removeEventFilter(this);
    setParent(parent, windowFlags() | Qt::Window);
    if (parent)
        parent->installEventFilter(this);
    if (wasVisible) {
        setGeometry(frame);
        show();
    }
}

bool THelpWindow::eventFilter(QObject* watched, QEvent* event) {
    // The modal dialog we followed is going away: become a window of our own
    // again before it is released (and would take us with it).
    if (watched == parentWidget() && event->type() == QEvent::Hide && !event->spontaneous())
        Reparent(nullptr);
    return QDialog::eventFilter(watched, event);
}
