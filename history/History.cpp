#include "history/History.h"

#include "platform/FileAccess.h"
#include "platform/FileName.h"
#include "platform/FileOperation.h"

#include <QDateTime>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Opens the journal itself: never through a link (a symbolic one fails, a
// file with other names too), so nothing but the journal is ever written.
int OpenOwn(const QByteArray& path, int flags) {
    const int fd = ::open(path.constData(), flags | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1)) {
        ::close(fd);
        errno = ELOOP;
        return -1;
    }
    return fd;
}

bool ReadAll(const QByteArray& path, QByteArray& contents, bool& missing) {
    missing = false;
    const int fd = OpenOwn(path, O_RDONLY);
    if (fd < 0) {
        missing = errno == ENOENT;
        return false;
    }
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return false;
        }
        contents.append(buffer, got);
    }
    ::close(fd);
    return true;
}

// The journal is rewritten once this many records more than its history
// needs have piled up.
constexpr int kSlack = 2 * kHistoryLimit;
} // namespace

THistory::~THistory() {
    CloseFile();
    if (LockFd >= 0)
        ::close(LockFd);
}

void THistory::CloseFile() {
    if (Fd >= 0)
        ::close(Fd);
    Fd = -1;
}

void THistory::Open(const QString& path) {
    CloseFile();
    Path = path;
    SetAside.clear();
    Current = THistoryState();
    Records = 0;
    const QByteArray bytes = PathToBytes(path);
    // One writer: a second running copy goes without a history.
    if (LockFd >= 0)
        ::close(LockFd);
    MakeFolderPath(QFileInfo(path).path());
    LockFd = OpenOwn(bytes + ".lock", O_RDWR | O_CREAT);
    // A record lock: another process's stops this one, nothing in this one does.
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    Busy =
        LockFd >= 0 && ::fcntl(LockFd, F_SETLK, &lock) != 0 && (errno == EAGAIN || errno == EACCES);
    if (Busy)
        return;
    QByteArray contents;
    bool missing = false;
    TJournalScan scan;
    if (!ReadAll(bytes, contents, missing) && !missing)
        scan.Status = TJournalScan::jsUnreadable;
    else
        scan = ScanJournal(contents);

    if (scan.Status == TJournalScan::jsUnreadable && !missing) {
        // Kept for whoever wants to look at it; a new journal begins.
        SetAside = path + QStringLiteral(".unreadable-") +
                   QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
        if (::rename(bytes.constData(), PathToBytes(SetAside).constData()) != 0) {
            SetAside.clear();
            return; // neither readable nor to be replaced: this run goes without
        }
        scan = TJournalScan();
        contents.clear();
    }
    for (const TJournalRecord& record : scan.Records) {
        ApplyRecord(Current, record);
        NextId = qMax(NextId, qMax(record.Step.Id, record.Intent) + 1);
    }
    Records = int(scan.Records.size());

    if (scan.GoodLength == 0 || Records > int(Current.Steps.size()) + kSlack) {
        Rewrite();
        return;
    }
    Fd = OpenOwn(bytes, O_WRONLY | O_APPEND);
    if (Fd < 0)
        return;
    // A record cut short by a crash goes, so the next one starts whole.
    if (scan.GoodLength < contents.size() &&
        (::ftruncate(Fd, scan.GoodLength) != 0 || ::fsync(Fd) != 0))
        CloseFile();
}

bool THistory::Rewrite() {
    CloseFile();
    const QString folder = QFileInfo(Path).path();
    MakeFolderPath(folder);
    const QByteArray temp = PathToBytes(Path + QStringLiteral(".new"));
    // Whatever has that name (a link, a leftover) goes; the new file is ours alone.
    ::unlink(temp.constData());
    const int fd =
        ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    QByteArray contents = JournalHeader();
    const std::vector<TJournalRecord> records = RecordsFor(Current);
    for (const TJournalRecord& record : records)
        contents += EncodeRecord(record);
    const bool written = WriteAll(fd, contents) && ::fsync(fd) == 0;
    ::close(fd);
    if (!written || ::rename(temp.constData(), PathToBytes(Path).constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    SyncFolder(folder);
    Records = int(records.size());
    Fd = OpenOwn(PathToBytes(Path), O_WRONLY | O_APPEND);
    return Fd >= 0;
}

bool THistory::Write(const TJournalRecord& record) {
    ApplyRecord(Current, record);
    if (Fd < 0)
        return false;
    if (!WriteAll(Fd, EncodeRecord(record)) || ::fdatasync(Fd) != 0) {
        // Whatever part of the record got out is ignored when read back;
        // the next start rewrites the journal without it.
        CloseFile();
        return false;
    }
    if (++Records > int(Current.Steps.size()) + kSlack)
        return Rewrite();
    return true;
}

const THistoryStep* THistory::UndoStep() const {
    return Current.Done > 0 ? &Current.Steps[size_t(Current.Done - 1)] : nullptr;
}

const THistoryStep* THistory::RedoStep() const {
    return Current.Done < int(Current.Steps.size()) ? &Current.Steps[size_t(Current.Done)]
                                                    : nullptr;
}

bool THistory::Add(THistoryStep step, quint64 intent) {
    step.Id = NextId++;
    return Write({joDone, step, intent});
}

bool THistory::Undone(const THistoryStep& now, quint64 intent) {
    return Write({joUndone, now, intent});
}

bool THistory::Redone(const THistoryStep& now, quint64 intent) {
    return Write({joRedone, now, intent});
}

quint64 THistory::Begin(TJournalOp planned, const THistoryStep& step,
                        const std::vector<TIntentMember>& members) {
    const quint64 intent = NextId++;
    Write({joIntent, step, intent, planned, members});
    return intent;
}

bool THistory::Abandon(quint64 intent) {
    return Write({joAbandon, THistoryStep(), intent});
}

bool THistory::Drop() {
    const THistoryStep* step = UndoStep();
    return step ? Write({joDropped, *step}) : false;
}
