#include "spi/SPIHost.h"

#include "spihost/SpiHostProtocol.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

// ---- Wire ------------------------------------------------------------------------

TWireWriter& TWireWriter::Raw(const void* data, qsizetype count) {
    Data.append(static_cast<const char*>(data), count);
    return *this;
}

const char* TWireReader::Take(qsizetype count) {
    if (!Good || count < 0 || Data.size() - At < count) {
        Good = false;
        return nullptr;
    }
    const char* at = Data.constData() + At;
    At += count;
    return at;
}

template <typename T> T TWireReader::Number() {
    T v = 0;
    if (const char* p = Take(sizeof v))
        std::memcpy(&v, p, sizeof v);
    return v;
}

qint32 TWireReader::I32() {
    return Number<qint32>();
}

qint64 TWireReader::I64() {
    return Number<qint64>();
}

qint16 TWireReader::I16() {
    return Number<qint16>();
}

QByteArray TWireReader::Text() {
    const qint32 n = I32();
    const char* p = Take(n);
    return p ? QByteArray(p, n) : QByteArray();
}

// ---- Process -----------------------------------------------------------------------

namespace {

const quint64 InitialShared = 4u << 20;
// Starting is not the plug-in's doing: a busy machine gets longer than a call.
const int StartTimeoutMs = 60000;
const quint64 KeptShared = 128u << 20;
// The longest message a host may send: a plug-in's texts, a picture's header.
const quint32 MaxMessage = 8u << 20;
// How often a waiting call looks up from the host.
const qint64 SliceMs = 20;
// How long a plug-in asked to stop has to answer before its host is killed.
const qint64 AbandonGraceMs = 300;

// Writes everything; a host that has gone answers EPIPE here instead of the
// signal that would end the program.
bool WriteAll(int fd, const char* data, size_t count) {
    sigset_t pipe, old;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old);
    bool ok = true;
    while (count > 0) {
        const ssize_t n = ::write(fd, data, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        data += n;
        count -= size_t(n);
    }
    if (!ok) {
        const timespec none{0, 0};
        sigtimedwait(&pipe, nullptr, &none); // the signal raised for this thread
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
}

} // namespace

QString SharedMemoryFolder() {
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    if (shm.isDir() && shm.isWritable())
        return shm.filePath();
    return QDir::tempPath();
}

TSPIHost::~TSPIHost() {
    Kill();
}

bool TSPIHost::Start(const THostLaunch& launch) {
    if (Running())
        return true;
    Launched = launch;
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    // Wine's background services keep the error output of whoever started
    // them; the host's own file keeps them off anything a caller reads.
    posix_spawn_file_actions_addopen(
        &actions, 2, launch.LogFile.isEmpty() ? "/dev/null" : launch.LogFile.constData(),
        O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETPGROUP);

    std::vector<char*> argv{const_cast<char*>(launch.Loader.constData()),
                            const_cast<char*>(launch.Program.constData()), nullptr};
    std::vector<char*> envp;
    for (const QByteArray& e : launch.Environment)
        envp.push_back(const_cast<char*>(e.constData()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, launch.Loader.constData(), &actions, &attributes,
                                   argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(in[0]);
    ::close(out[1]);
    if (failed != 0) {
        ::close(in[1]);
        ::close(out[0]);
        return false;
    }
    Pid = pid;
    ToHost = in[1];
    FromHost = out[0];
    PidFd = int(::syscall(SYS_pidfd_open, pid, 0));
    Ready = false;
    Direct = false;
    Pending.clear();
    ++Starts;
    return true;
}

void TSPIHost::Kill() {
    Unmap();
    if (Pid > 0) {
        // The host leads a process group of its own: what a plug-in started
        // goes with it.
        ::kill(-Pid, SIGKILL);
        ::kill(Pid, SIGKILL);
        while (::waitpid(Pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    for (int* fd : {&ToHost, &FromHost, &PidFd})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    Pid = -1;
    Ready = false;
    Pending.clear();
}

bool TSPIHost::SendMessage(quint32 kind, const QByteArray& fields) {
    TWireWriter message;
    message.I32(qint32(fields.size() + 4)).I32(qint32(kind)).Raw(fields);
    return WriteAll(ToHost, message.Bytes().constData(), size_t(message.Bytes().size()));
}

TSPIHost::TCallEnd TSPIHost::Receive(quint32& kind, QByteArray& payload, int timeoutMs,
                                     const TWaiting& waiting) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (Pending.size() >= 8) {
            quint32 length;
            std::memcpy(&length, Pending.constData(), 4);
            if (length < 4 || length > MaxMessage)
                return TCallEnd::Garbled;
            if (quint64(Pending.size()) >= 4 + quint64(length)) {
                std::memcpy(&kind, Pending.constData() + 4, 4);
                payload = Pending.mid(8, qsizetype(length) - 4);
                Pending.remove(0, 4 + qsizetype(length));
                return TCallEnd::Answered;
            }
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return TCallEnd::Silent;
        if (waiting && waiting())
            return TCallEnd::Abandoned;
        pollfd fds[2] = {{FromHost, POLLIN, 0}, {PidFd, POLLIN, 0}};
        const int n = ::poll(fds, PidFd >= 0 ? 2 : 1, int(waiting ? qMin(left, SliceMs) : left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return TCallEnd::Died;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[65536];
            const ssize_t got = ::read(FromHost, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return TCallEnd::Died; // the host has gone
            Pending.append(buffer, got);
            continue;
        }
        if (PidFd >= 0 && (fds[1].revents & POLLIN)) {
            // Ended: what it wrote before is still read, then it counts as gone.
            pollfd last{FromHost, POLLIN, 0};
            if (::poll(&last, 1, 0) > 0)
                continue;
            return TCallEnd::Died;
        }
    }
}

bool TSPIHost::WaitReady(int timeoutMs, const TWaiting& waiting) {
    if (Ready)
        return true;
    quint32 kind = 0;
    QByteArray payload;
    End = Receive(kind, payload, timeoutMs, waiting);
    if (End != TCallEnd::Answered || kind != SPIHOST_HELLO) {
        if (End == TCallEnd::Answered)
            End = TCallEnd::Garbled;
        return false;
    }
    TWireReader hello(payload);
    const qint32 version = hello.I32();
    hello.I32(); // pointer bits
    const quint64 probe = quint64(hello.I64());
    Ready = version == SPIHOST_VERSION && hello.Ok();
    char seen[sizeof SPIHOST_PROBE] = {};
    Direct = Ready && ReadMemory(probe, seen, sizeof seen) &&
             std::memcmp(seen, SPIHOST_PROBE, sizeof seen) == 0;
    if (!Ready)
        End = TCallEnd::Garbled;
    return Ready;
}

bool TSPIHost::ReadMemory(quint64 address, char* to, quint64 count) const {
    while (count > 0 && Pid > 0) {
        iovec local{to, size_t(count)};
        iovec remote{reinterpret_cast<void*>(quintptr(address)), size_t(count)};
        const ssize_t n = ::process_vm_readv(Pid, &local, 1, &remote, 1, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        to += n;
        address += quint64(n);
        count -= quint64(n);
    }
    return count == 0;
}

void TSPIHost::Tell(quint32 kind) {
    if (Running() && Ready)
        SendMessage(kind, QByteArray());
}

bool TSPIHost::Alive() const {
    if (Pid <= 0)
        return false;
    pollfd ended{PidFd, POLLIN, 0};
    if (PidFd >= 0)
        return ::poll(&ended, 1, 0) == 0;
    return ::kill(Pid, 0) == 0;
}

bool TSPIHost::Call(quint32 kind, const QByteArray& fields, QByteArray& reply, int timeoutMs,
                    const TProgressSink& progress, const TWaiting& waiting, int deadlineMs) {
    // A call made from inside another one's wait (the window's events run
    // there) would mix their messages: it fails instead, leaving the host.
    if (InCall) {
        End = TCallEnd::Abandoned;
        return false;
    }
    InCall = true;
    const auto out = qScopeGuard([this] { InCall = false; });
    QElapsedTimer total;
    total.start();
    // A host that ends before it is ready (Wine still settling, after making
    // the prefix or after a host was killed) is started once more.
    for (int attempt = 0;; ++attempt) {
        QElapsedTimer clock;
        clock.start();
        StartFailure = !Running() || !WaitReady(qMax(timeoutMs, StartTimeoutMs), waiting);
        if (!Running())
            End = TCallEnd::StartFailed;
        if (!StartFailure || attempt == 1 || Launched.Loader.isEmpty() ||
            End == TCallEnd::Abandoned || clock.elapsed() >= StartTimeoutMs)
            break;
        Kill();
        // Not at once: a host that fails at once would fail again at once.
        ::usleep(200000);
        Start(Launched);
    }
    if (StartFailure || !SendMessage(kind, fields)) {
        if (!StartFailure)
            End = TCallEnd::Died;
        else if (End == TCallEnd::Answered || End == TCallEnd::Died)
            End = TCallEnd::StartFailed;
        Kill();
        return false;
    }
    bool abandoned = false;
    for (;;) {
        quint32 got = 0;
        QByteArray payload;
        // Given up, the plug-in is asked to stop and has a moment to answer.
        const qint64 rest = abandoned        ? AbandonGraceMs - total.elapsed()
                            : deadlineMs > 0 ? deadlineMs - total.elapsed()
                                             : qint64(timeoutMs);
        const int wait = int(qBound<qint64>(0, rest, qint64(timeoutMs)));
        const bool deadlineBinds = !abandoned && rest < timeoutMs;
        End = Receive(got, payload, wait, abandoned ? TWaiting() : waiting);
        if (End == TCallEnd::Abandoned) {
            abandoned = true;
            SetStop(true);
            total.restart();
            continue;
        }
        if (End == TCallEnd::Silent && abandoned)
            End = TCallEnd::Abandoned;
        else if (End == TCallEnd::Silent && deadlineBinds)
            End = TCallEnd::Overdue;
        if (End != TCallEnd::Answered)
            break;
        if (got == SPIHOST_REPLY) {
            reply = payload;
            End = abandoned ? TCallEnd::Abandoned : TCallEnd::Answered;
            return true;
        }
        if (got != SPIHOST_PROGRESS) {
            End = TCallEnd::Garbled;
            break;
        }
        TWireReader r(payload);
        const int done = r.I32(), all = r.I32();
        if (progress && r.Ok() && !abandoned)
            progress(done, all);
    }
    Kill();
    return false;
}

// ---- Shared memory -------------------------------------------------------------------

char* TSPIHost::SharedData() const {
    return Shared ? Shared + SPIHOST_SHM_DATA : nullptr;
}

quint64 TSPIHost::SharedDataSize() const {
    return Shared ? SharedSize - SPIHOST_SHM_DATA : 0;
}

void TSPIHost::SetStop(bool stop) {
    if (Shared)
        reinterpret_cast<std::atomic<quint32>*>(Shared)->store(stop ? 1 : 0);
}

void TSPIHost::Unmap() {
    if (Shared)
        ::munmap(Shared, SharedSize);
    Shared = nullptr;
    SharedSize = 0;
}

bool TSPIHost::MapNew(quint64 dataBytes, int timeoutMs) {
    static std::atomic<int> serial{0};
    const quint64 size = SPIHOST_SHM_DATA + ((dataBytes + 0xFFFFF) & ~quint64(0xFFFFF));
    const QByteArray path = QFile::encodeName(QStringLiteral("%1/velmo-spihost-%2-%3")
                                                  .arg(SharedMemoryFolder())
                                                  .arg(::getpid())
                                                  .arg(serial.fetch_add(1)));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    void* view = MAP_FAILED;
    if (::ftruncate(fd, off_t(size)) == 0)
        // Populated now, once, rather than a fault per page in every copy.
        view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
    ::close(fd);
    QByteArray reply;
    const bool mapped = view != MAP_FAILED &&
                        Call(SPIHOST_SHM_MAP, TWireWriter().Text(path).Bytes(), reply, timeoutMs) &&
                        TWireReader(reply).I32() == 0;
    ::unlink(path.constData()); // both sides hold it mapped; nothing else needs its name
    if (!mapped) {
        if (view != MAP_FAILED)
            ::munmap(view, size);
        return false;
    }
    Unmap();
    Shared = static_cast<char*>(view);
    SharedSize = size;
    return true;
}

bool TSPIHost::EnsureShared(quint64 dataBytes, int timeoutMs) {
    if (Shared && SharedDataSize() >= dataBytes)
        return true;
    return MapNew(qMax(dataBytes, InitialShared), timeoutMs);
}

void TSPIHost::ShrinkShared(int timeoutMs) {
    if (Shared && SharedSize > KeptShared)
        MapNew(InitialShared, timeoutMs);
}
