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
bool ReadAll(const QByteArray& path, QByteArray& contents, bool& missing) {
    missing = false;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
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
        NextId = qMax(NextId, record.Step.Id + 1);
    }
    Records = int(scan.Records.size());

    if (scan.GoodLength == 0 || Records > int(Current.Steps.size()) + kSlack) {
        Rewrite();
        return;
    }
    Fd = ::open(bytes.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
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
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
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
    Fd = ::open(PathToBytes(Path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
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

bool THistory::Add(THistoryStep step) {
    step.Id = NextId++;
    return Write({joDone, step});
}

bool THistory::Undone(const THistoryStep& now) {
    return Write({joUndone, now});
}

bool THistory::Redone(const THistoryStep& now) {
    return Write({joRedone, now});
}

bool THistory::Drop() {
    const THistoryStep* step = UndoStep();
    return step ? Write({joDropped, *step}) : false;
}
