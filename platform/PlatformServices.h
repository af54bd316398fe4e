#pragma once

#include "platform/FileOperation.h"

#include <QString>
#include <QStringList>
#include <memory>

class QWidget;

// Everything Velmo asks of the system and of the person at the screen that a
// test needs to stand in for, behind one object: the mount table, the drive
// probe, the file operations' fault points and error box, the program's
// message boxes, the desktop's URL handler and the help book's folders.
// app/main.cpp installs the Linux services once; a test installs a fake
// (tests/support/FakePlatform.h) for as long as it runs.
class TPlatformServices {
public:
    virtual ~TPlatformServices() = default;

    // ---- Disks
    // The file the mount table is read from (and watched for mounts coming
    // and going).
    virtual QString MountTableFile() const = 0;
    // How long a drive check waits for its worker's answer, in milliseconds.
    virtual int DriveCheckTimeout() const = 0;
    // Called on the drive check's worker just before it lists the root of a
    // network or optical mount. It may block (a dead server).
    virtual void ProbeDrive(const QString& mountRoot) = 0;
    // Whether the medium holding `path` can be read now (the start folder's
    // check: a missing folder on a present medium counts as ready).
    virtual bool MediumReady(const QString& path) = 0;

    // ---- Folder watching
    // Called on the folder watcher's thread before it watches a folder: 0
    // goes on, an errno value makes the watch fail with it (ENOSPC: the
    // system's limit of watches is reached).
    virtual int WatchFault(const QString& folder) = 0;

    // ---- File operations
    // Called at each step of a copy, move or trash, on the thread doing the
    // work: 0 goes on, an errno value makes the step fail with it.
    virtual int FileOpFault(TFileOpStep step, const QString& path) = 0;
    // How long an operation runs before its progress dialog shows (a
    // negative value never shows it).
    virtual int FileOpProgressDelay() const = 0;
    // Tells the person that a file operation failed.
    virtual void FileOpErrorBox(QWidget* owner, const QString& caption, const QString& text) = 0;

    // ---- Questions and messages
    // An application-modal message box; returns idOk, idYes or idNo.
    virtual int MessageBox(const QString& text, const QString& caption, int flags) = 0;
    // The error box of an exception that escaped an event handler.
    virtual void ErrorBox(const QString& text) = 0;

    // ---- Desktop
    // Opens a web address or "mailto:" text with the desktop's handler.
    virtual void OpenUrl(const QString& url) = 0;
    // The folders searched for the help book, in order.
    virtual QStringList HelpSearchFolders() const = 0;
};

// The real thing: the system's own mount table and drives, modal boxes,
// the desktop's URL handler.
class TLinuxPlatform : public TPlatformServices {
public:
    QString MountTableFile() const override;
    int DriveCheckTimeout() const override;
    void ProbeDrive(const QString& mountRoot) override;
    bool MediumReady(const QString& path) override;
    int WatchFault(const QString& folder) override;
    int FileOpFault(TFileOpStep step, const QString& path) override;
    int FileOpProgressDelay() const override;
    void FileOpErrorBox(QWidget* owner, const QString& caption, const QString& text) override;
    int MessageBox(const QString& text, const QString& caption, int flags) override;
    void ErrorBox(const QString& text) override;
    void OpenUrl(const QString& url) override;
    QStringList HelpSearchFolders() const override;
};

// The services in use. Work that may outlive a caller (a drive check left to
// finish on its own, a file operation's worker) keeps the pointer it got.
// Before any are installed, the Linux services answer.
std::shared_ptr<TPlatformServices> Platform();

// Installs `services` for the life of the scope, then puts back what was
// installed before. Scopes nest; they are made and ended on the main thread.
class TPlatformScope {
public:
    explicit TPlatformScope(std::shared_ptr<TPlatformServices> services);
    ~TPlatformScope();
    TPlatformScope(const TPlatformScope&) = delete;
    TPlatformScope& operator=(const TPlatformScope&) = delete;

private:
    std::shared_ptr<TPlatformServices> Previous;
};
