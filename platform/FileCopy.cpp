#include "platform/FileCopy.h"
#include "platform/FileName.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr size_t kChunk = 1 << 20;

// A file descriptor closed when it goes out of scope.
class TFd {
public:
    explicit TFd(int fd = -1) : Fd(fd) {}
    ~TFd() { reset(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int get() const { return Fd; }
    void reset(int fd = -1) {
        if (Fd >= 0)
            ::close(Fd);
        Fd = fd;
    }
    // Closes now and tells whether the close reported an error (some
    // filesystems report a failed write only here).
    int close() {
        const int fd = Fd;
        Fd = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int Fd;
};

// The copy being written in the target folder. Where the filesystem allows it
// the file has no name until it is complete, so even a killed process leaves
// nothing behind; elsewhere it is a hidden file that is removed on failure.
class TTempTarget {
public:
    explicit TTempTarget(const QString& target) : Target(target) {
        Folder = QFileInfo(target).path();
    }
    ~TTempTarget() {
        Fd.reset();
        if (!Named.isEmpty())
            ::unlink(PathToBytes(Named).constData());
    }

    int create() {
        // The unnamed file is named later through /proc; without it, no use.
        static const bool canName = ::access("/proc/self/fd", X_OK) == 0;
        const int fd = canName ? ::open(PathToBytes(Folder).constData(),
                                        O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600)
                               : -1;
        if (fd >= 0) {
            Fd.reset(fd);
            return 0;
        }
        if (canName && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            return errno;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString name = uniqueName();
            const int named = ::open(PathToBytes(name).constData(),
                                     O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
            if (named >= 0) {
                Fd.reset(named);
                Named = name;
                return 0;
            }
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }

    int fd() const { return Fd.get(); }

    // Gives the complete copy its place. Not to replace, an unnamed copy is
    // linked straight to the target, which fails where the name is taken and
    // never shows a temporary name; a named one is renamed without replacing.
    // To replace, the copy gets a temporary name and is renamed over the target.
    int commit(const TFileOpContext& context) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(Fd.get());
        if (Named.isEmpty() && context.NoReplace) {
            if (const int code = context.Inject(fosRename, Target))
                return code;
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, PathToBytes(Target).constData(),
                         AT_SYMLINK_FOLLOW) != 0)
                return errno;
            if (const int code = Fd.close()) {
                ::unlink(PathToBytes(Target).constData()); // ours, just made
                return code;
            }
            return 0;
        }
        if (Named.isEmpty()) {
            for (int attempt = 0; Named.isEmpty(); ++attempt) {
                const QString name = uniqueName();
                if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, PathToBytes(name).constData(),
                             AT_SYMLINK_FOLLOW) == 0)
                    Named = name;
                else if (errno != EEXIST || attempt >= 100)
                    return errno;
            }
        }
        if (const int code = Fd.close())
            return code;
        if (const int code = context.Inject(fosRename, Target))
            return code;
        if (const int code = RenameInto(PathToBytes(Named), PathToBytes(Target), context.NoReplace))
            return code;
        Named.clear();
        return 0;
    }

private:
    QString uniqueName() const {
        // A part of the name only, so a long name stays within the limit.
        return Folder + QStringLiteral("/.") + QFileInfo(Target).fileName().left(40) +
               QStringLiteral(".velmo-") +
               QString::number(QRandomGenerator::global()->generate(), 36) + QStringLiteral(".tmp");
    }

    QString Target;
    QString Folder;
    QString Named; // the name the unfinished copy has, if any
    TFd Fd;
};

// The filesystem has no flush to offer (some user-space filesystems): the
// data is as safe as that filesystem makes it.
bool CannotSync(int code) {
    return code == EINVAL || code == ENOSYS || code == EOPNOTSUPP;
}

int WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        size -= size_t(n);
    }
    return 0;
}

// Copies the rest of `in` to `out` in chunks; kernel-side where it can.
TFileOpResult CopyData(int in, int out, const QString& target, TFileOpContext& context, int& code) {
    bool inKernel = true;
    std::vector<char> buffer;
    for (;;) {
        if (context.Cancelled)
            return forCancelled;
        if ((code = context.Inject(fosWrite, target)))
            return forFailed;
        if (context.Cancelled)
            return forCancelled;
        ssize_t n = -1;
        if (inKernel) {
            n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                          errno == EOPNOTSUPP || errno == EBADF || errno == EPERM)) {
                inKernel = false;
                continue;
            }
        } else {
            if (buffer.empty())
                buffer.resize(kChunk);
            n = ::read(in, buffer.data(), buffer.size());
            if (n > 0 && (code = WriteAll(out, buffer.data(), size_t(n))))
                return forFailed;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            code = errno;
            return forFailed;
        }
        if (n == 0)
            return forDone;
        context.Done += n;
    }
}
} // namespace

TFileOpResult CopyFileReplacing(const QString& source, const QString& target,
                                TFileOpContext& context, TFileOpError& error) {
    error.Headline = QStringLiteral("ファイルをコピーできません。");
    error.Paths = {QStringLiteral("コピー元: ") + source, QStringLiteral("コピー先: ") + target};
    auto fail = [&](int code) {
        error.Code = code;
        return forFailed;
    };

    if (const int code = context.Inject(fosOpenSource, source))
        return fail(code);
    // Not blocking: a named pipe in the folder must not hang the copy.
    TFd in(::open(PathToBytes(source).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0)
        return fail(errno);
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        return fail(errno);
    if (S_ISDIR(st.st_mode))
        return fail(EISDIR);
    if (!S_ISREG(st.st_mode))
        return fail(EINVAL);
    ::fcntl(in.get(), F_SETFL, O_RDONLY);
    IdentityOf(in.get(), context.Copied);
    context.Total = st.st_size;
    context.Done = 0;

    const QString folder = QFileInfo(target).path();
    if (const int code = context.Inject(fosMakeFolder, folder))
        return fail(code);
    if (const int code = MakeFolderPath(folder))
        return fail(code);

    TTempTarget temp(target);
    if (const int code = context.Inject(fosCreateTemp, target))
        return fail(code);
    if (const int code = temp.create())
        return fail(code);

    int code = 0;
    const TFileOpResult copied = CopyData(in.get(), temp.fd(), target, context, code);
    if (copied != forDone)
        return copied == forFailed ? fail(code) : copied;

    // The mode and the times are kept where the filesystem can keep them; a
    // memory card's FAT has no modes, and that is no reason to refuse it.
    if (!context.Inject(fosSetAttributes, target)) {
        ::fchmod(temp.fd(), st.st_mode & 07777);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(temp.fd(), times);
    }
    if ((code = context.Inject(fosSyncData, target)))
        return fail(code);
    if (::fsync(temp.fd()) != 0 && !CannotSync(errno))
        return fail(errno);
    // A source written to while it was read gives a copy of neither version.
    TFileOpContext::TIdentity after;
    if (!IdentityOf(in.get(), after) || !(after == context.Copied)) {
        error.Reason = QStringLiteral("コピーの間にコピー元が変更されました");
        return forFailed;
    }
    // Past this point a cancel comes too late: the copy is complete.
    if ((code = temp.commit(context)))
        return fail(code);
    if ((code = context.Inject(fosSyncFolder, folder)))
        return fail(code);
    if ((code = SyncFolder(folder)))
        return fail(code);
    return forDone;
}

TFileOpResult ShellCopyFile(QWidget* owner, const QString& source, const QString& target,
                            bool noReplace) {
    return RunFileOperation(
        owner, QStringLiteral("ファイルをコピーしています...\n") + QFileInfo(source).fileName(),
        [source, target, noReplace](TFileOpContext& context, TFileOpError& error) {
            context.NoReplace = noReplace;
            return TakenOr(CopyFileReplacing(source, target, context, error), noReplace, error);
        });
}
