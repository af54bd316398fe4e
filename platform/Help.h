#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QPushButton;
class QTextBrowser;

// The help system. The program names its help file ("Velmo.hlp"); the book
// that stands for it is the HTML file of the same base name (Velmo.html),
// found beside the executable or in the installed data folder. It is shown in
// the program's help window, at its contents or at the topic of a context
// number (anchor "topic" + number).

enum : int { HELP_CONTEXT = 1, HELP_CONTENTS = 3 };

// "Velmo.hlp" -> "Velmo.html".
QString HelpBookName(const QString& helpFile);
// The anchor of a context number: 36 -> "topic36".
QString HelpTopicAnchor(int context);
// The folders searched for the book, in order: the executable's folder, then
// the installed data folder (the platform services say).
QStringList HelpSearchFolders();
// The book's path, or empty when it is nowhere to be found.
QString FindHelpBook(const QString& helpFile);

// Show the book at its contents, or at the topic of a context number. A book
// that cannot be found is reported in a message box; the result tells whether
// the book is shown.
bool HelpContents(const QString& helpFile);
bool HelpContext(const QString& helpFile, int context);
// The Windows-style entry: command HELP_CONTENTS or HELP_CONTEXT with its data.
bool WinHelp(const QString& helpFile, int command, int data);

// The help window: one for the program, reused and raised on each request.
class THelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* parent = nullptr);

    QPushButton* cmdContents;
    QPushButton* cmdBack;
    QPushButton* cmdForward;
    QTextBrowser* txbHelp;

    // Loads the book (when it is another one) and goes to the anchor; an
    // empty anchor, or one the book does not have, shows the beginning.
    void ShowBook(const QString& path, const QString& anchor);
    // Stays usable while a modal dialog runs by becoming its child window,
    // and goes back to being a window of its own when that dialog goes away.
    void FollowModal(QWidget* modal);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool HasAnchor(const QString& anchor) const;
    void Reparent(QWidget* parent);
};

// The help window when one exists (for tests), else nullptr.
THelpWindow* CurrentHelpWindow();
