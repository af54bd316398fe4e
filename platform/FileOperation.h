#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <atomic>
#include <functional>

class QWidget;

// The file service that copies, moves and trashes one file at a time for the
// main window. It asks no questions of its own: it shows a progress dialog
// with a cancel button when an operation runs longer than about half a
// second, and its own message box when an operation fails. Callers may ignore
// the result; tests read it.

// What became of one operation.
enum TFileOpResult { forDone, forFailed, forCancelled };

// Steps at which a test can make an operation fail or stop (see
// SetFileOpFaultHook).
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

// A test hook called at each step, on the thread doing the work: return 0 to
// go on, or an errno value the step then fails with. It may also block (to
// stop a process at a known point) or request cancellation.
using TFileOpFaultHook = std::function<int(TFileOpStep step, const QString& path)>;
void SetFileOpFaultHook(TFileOpFaultHook hook);

// Tests see what the file service's message box would show instead of a
// modal window; pass nullptr to restore the box.
using TFileOpErrorHook = std::function<void(const QString& caption, const QString& text)>;
void SetFileOpErrorHook(TFileOpErrorHook hook);

// How long an operation runs before its progress dialog appears (500 ms);
// a negative value never shows it (tests).
void SetFileOpProgressDelay(int milliseconds);

// The caption of the file service's message box and progress dialog.
QString FileOpCaption();

// ---- Shared by the operations in platform/File* -------------------------

// Progress and cancellation, shared between the worker and the window.
struct TFileOpContext {
    std::atomic<qint64> Total{0};
    std::atomic<qint64> Done{0};
    std::atomic<bool> Cancelled{false};
    TFileOpFaultHook Fault; // a copy taken when the operation starts

    // 0 to go on, else the errno the step fails with.
    int Inject(TFileOpStep step, const QString& path) const {
        return Fault ? Fault(step, path) : 0;
    }
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

// Flushes a folder's entries to the disk; 0 or the errno of the failure.
int SyncFolder(const QString& folder);
