#include "platform/FileOperation.h"
#include "platform/FileName.h"
#include "platform/PlatformServices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {
// What the worker and the waiting window share; the worker keeps its own
// reference, so the state outlives whichever side finishes last.
struct TRunState {
    TFileOpContext Context;
    TFileOpError Error;
    TFileOpResult Result = forFailed;
    std::atomic<bool> Finished{false};
};

} // namespace

void ShowFileOpError(QWidget* owner, const TFileOpError& error) {
    Platform()->FileOpErrorBox(owner, FileOpCaption(), FileOpErrorText(error));
}

int TFileOpContext::Inject(TFileOpStep step, const QString& path) const {
    return Services ? Services->FileOpFault(step, path) : 0;
}

QString FileOpCaption() {
    return QStringLiteral("ファイルの操作");
}

QString SystemReason(int code) {
    char buffer[256];
    // GNU strerror_r: thread-safe, returns the text (maybe not in buffer).
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}

QString FileOpErrorText(const TFileOpError& error) {
    QString text = error.Headline;
    if (!error.Paths.isEmpty())
        text += QLatin1String("\n\n") + DisplayPath(error.Paths.join(QLatin1Char('\n')));
    const QString reason = error.Code ? SystemReason(error.Code) : error.Reason;
    if (!reason.isEmpty())
        text += QLatin1String("\n\n") + QStringLiteral("理由: ") + reason;
    return text;
}

int MakeFolderPath(const QString& folder) {
    const QByteArray path = PathToBytes(folder);
    struct stat st;
    if (::stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT)
        return errno;
    const QString parent = QFileInfo(folder).path();
    if (parent != folder) {
        if (const int code = MakeFolderPath(parent))
            return code;
    }
    if (::mkdir(path.constData(), 0777) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

int RenameInto(const QByteArray& from, const QByteArray& to, bool noReplace) {
    if (!noReplace)
        return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // A filesystem without that rename: a link cannot replace either.
    if (::link(from.constData(), to.constData()) == 0) {
        if (::unlink(from.constData()) != 0) {
            const int code = errno;
            ::unlink(to.constData());
            return code;
        }
        return 0;
    }
    if (errno == EEXIST || errno == ENOENT || errno == ENOSPC || errno == EDQUOT)
        return errno;
    // Nor links (FAT): look first, then rename.
    struct stat st;
    if (::lstat(to.constData(), &st) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

namespace {
TFileOpContext::TIdentity IdentityFrom(const struct stat& st) {
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}
} // namespace

bool IdentityOf(int fd, TFileOpContext::TIdentity& id) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return false;
    id = IdentityFrom(st);
    return true;
}

bool IdentityOf(const QByteArray& path, TFileOpContext::TIdentity& id) {
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return false;
    id = IdentityFrom(st);
    return true;
}

TFileOpResult TakenOr(TFileOpResult result, bool noReplace, const TFileOpError& error) {
    return noReplace && result == forFailed && error.Code == EEXIST ? forTaken : result;
}

int SyncFolder(const QString& folder) {
    const int fd = ::open(PathToBytes(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int code = 0;
    // Some filesystems cannot flush a folder; that is no failure of ours.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS && errno != ENOSYS &&
        errno != EOPNOTSUPP)
        code = errno;
    ::close(fd);
    return code;
}

TFileOpResult RunFileOperation(QWidget* owner, const QString& label, TFileOpWork work) {
    auto state = std::make_shared<TRunState>();
    QPointer<QWidget> ownerGuard(owner); // the window might close meanwhile
    state->Context.Services = Platform();
    const int progressDelay = state->Context.Services->FileOpProgressDelay();

    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    // The loop that waits for the worker; none without a window system.
    std::unique_ptr<QEventLoop> loop(app ? new QEventLoop : nullptr);
    QPointer<QEventLoop> wake(loop.get());
    std::thread worker;
    if (app) {
        try {
            worker = std::thread([state, work, wake] {
                state->Result = work(state->Context, state->Error);
                state->Finished = true;
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [wake] {
                        if (wake)
                            wake->quit();
                    },
                    Qt::QueuedConnection);
            });
        } catch (const std::system_error&) {
            // No thread to be had: the work runs here, without repainting.
        }
    }
    if (!worker.joinable()) {
        // No window to keep alive (or no thread): do the work right here.
        state->Result = work(state->Context, state->Error);
    } else {
        // Held weakly: it belongs to the owner window, which might go first.
        QPointer<QProgressDialog> dialog;
        bool dialogMade = false;
        bool arrowPushed = false;
        QElapsedTimer clock;
        clock.start();
        QTimer tick;
        tick.setInterval(50);
        QObject::connect(&tick, &QTimer::timeout, loop.get(), [&] {
            if (!dialogMade && progressDelay >= 0 && clock.elapsed() >= progressDelay) {
                dialogMade = true;
                dialog = new QProgressDialog(DisplayPath(label), QStringLiteral("キャンセル"), 0,
                                             1000, ownerGuard.data());
                dialog->setObjectName(QStringLiteral("FileOperationProgress"));
                dialog->setWindowTitle(FileOpCaption());
                dialog->setWindowModality(Qt::ApplicationModal);
                dialog->setAutoClose(false);
                dialog->setAutoReset(false);
                dialog->setMinimumDuration(0);
                QObject::connect(dialog, &QProgressDialog::canceled, dialog,
                                 [state] { state->Context.Cancelled = true; });
                QApplication::setOverrideCursor(Qt::ArrowCursor);
                arrowPushed = true;
                dialog->show();
                loop->quit(); // wait again, now taking the user's input for the dialog
            }
            if (dialog) {
                if (dialog->wasCanceled())
                    state->Context.Cancelled = true;
                const qint64 total = state->Context.Total;
                const qint64 done = state->Context.Done;
                dialog->setValue(total > 0 ? int(done * 1000 / total) : 0);
            }
        });
        tick.start();
        // Until the dialog is up, the window repaints but takes no input, so
        // no second operation can start inside this one.
        while (!state->Finished)
            loop->exec(dialogMade ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
        tick.stop();
        worker.join();
        delete dialog.data();
        if (arrowPushed)
            QApplication::restoreOverrideCursor();
    }

    if (state->Result == forFailed)
        ShowFileOpError(ownerGuard.data(), state->Error);
    return state->Result;
}
