#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <atomic>
#include <functional>
#include <memory>

class QWidget;
class TPlatformServices;

// The file service that copies, moves and trashes one file at a time for the
// main window. It asks no questions of its own: it shows a progress dialog
// with a cancel button when an operation runs longer than about half a
// second, and its own message box when an operation fails. Callers may ignore
// the result; tests read it.

// What became of one operation.
// forTaken: the operation was not to replace its target, and the target's
// name was taken (by another program, meanwhile); nothing changed and no box
// was shown, the caller decides what comes next.
enum TFileOpResult { forDone, forFailed, forCancelled, forTaken };

// Steps at which a test can make an operation fail or stop (see
// TPlatformServices::FileOpFault).
enum TFileOpStep {
    fosOpenSource,    // the source is about to be opened
    fosMakeFolder,    // the target folder is about to be made
    fosCreateTemp,    // the temporary file in the target folder is about to be made
    fosWrite,         // one chunk is about to be written
    fosSetAttributes, // the copy's mode and times are about to be set (failing is no error)
    fosSyncData,      // the copied data is about to be flushed to the disk
    fosRename,        // the finished copy (or the moved file) is about to be renamed into place
    fosSyncFolder,    // the target folder is about to be flushed
    fosRemoveSource,  // a move across filesystems: the target is complete, the source goes next
    fosTrash          // the file is about to be moved into the trash
};

// The caption of the file service's message box and progress dialog.
QString FileOpCaption();

// ---- Shared by the operations in platform/File* -------------------------

// Progress and cancellation, shared between the worker and the window.
struct TFileOpContext {
    std::atomic<qint64> Total{0};
    std::atomic<qint64> Done{0};
    std::atomic<bool> Cancelled{false};
    // A rename within one filesystem leaves its two folders unflushed: the
    // caller of many renames flushes each folder once at the end.
    bool DeferFolderSync = false;
    // The target of this operation must not be replaced: one that turns up
    // meanwhile (another program's, or a name the filesystem takes for the
    // same without regard to case) makes the operation fail with EEXIST.
    bool NoReplace = false;
    // The file a copy read, as it was when opened (set by the copy): a move
    // removes its source only while the source is still this very file.
    struct TIdentity {
        quint64 Device = 0, Inode = 0;
        qint64 Size = -1, Modified = 0; // bytes; nanoseconds since the epoch
        bool operator==(const TIdentity&) const = default;
    } Copied;
    // The services in use when the operation started.
    std::shared_ptr<TPlatformServices> Services;

    // 0 to go on, else the errno the step fails with.
    int Inject(TFileOpStep step, const QString& path) const;
};

// A failure: the headline, the paths involved (each with its label) and the
// system's reason.
struct TFileOpError {
    QString Headline;
    QStringList Paths;
    int Code = 0;   // errno, when the reason is a system error
    QString Reason; // text of the reason when it is not an errno
};

// The whole text the message box shows for an error.
QString FileOpErrorText(const TFileOpError& error);

// Shows an error in the file service's message box (or hands it to the
// test hook).
void ShowFileOpError(QWidget* owner, const TFileOpError& error);

// The system's reason for an errno value.
QString SystemReason(int code);

// Runs the work on a worker thread while the window keeps repainting; shows
// the progress dialog after the delay and the message box when it fails.
using TFileOpWork = std::function<TFileOpResult(TFileOpContext& context, TFileOpError& error)>;
TFileOpResult RunFileOperation(QWidget* owner, const QString& label, TFileOpWork work);

// Makes a folder and its missing parents; 0 or the errno of the failure.
int MakeFolderPath(const QString& folder);

// rename(2), or with `noReplace` one that fails with EEXIST where the target
// exists, also one made at that very moment (a filesystem without a
// no-replace rename gets a link and an unlink instead, and only one without
// links a look before the rename); 0 or the errno of the failure.
int RenameInto(const QByteArray& from, const QByteArray& to, bool noReplace);

// The identity of the file behind `fd`, or of the name `path` itself (a
// link is not followed); false when there is none.
bool IdentityOf(int fd, TFileOpContext::TIdentity& id);
bool IdentityOf(const QByteArray& path, TFileOpContext::TIdentity& id);

// Maps the failure of a no-replace operation whose target was taken to
// forTaken (no box), for the callers that apply a clash policy.
TFileOpResult TakenOr(TFileOpResult result, bool noReplace, const TFileOpError& error);

// Flushes a folder's entries to the disk; 0 or the errno of the failure.
int SyncFolder(const QString& folder);
