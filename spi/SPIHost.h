#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <sys/types.h>

// The fields of a host message, written and read in order, little-endian.
class TWireWriter {
public:
    TWireWriter& I32(qint32 v) { return Raw(&v, 4); }
    TWireWriter& I64(qint64 v) { return Raw(&v, 8); }
    TWireWriter& Text(const QByteArray& text) { return I32(qint32(text.size())).Raw(text); }
    TWireWriter& Raw(const QByteArray& bytes) { return Raw(bytes.constData(), bytes.size()); }
    TWireWriter& Raw(const void* data, qsizetype count);
    const QByteArray& Bytes() const { return Data; }

private:
    QByteArray Data;
};

class TWireReader {
public:
    explicit TWireReader(const QByteArray& bytes) : Data(bytes) {}
    qint32 I32();
    qint64 I64();
    qint16 I16();
    QByteArray Text();
    // False once a field ran past the end; every later field reads as 0.
    bool Ok() const { return Good; }

private:
    const char* Take(qsizetype count);
    template <typename T> T Number();
    QByteArray Data;
    qsizetype At = 0;
    bool Good = true;
};

// How a host process is started: the Wine loader of its bitness, the host
// program, the environment and the file that takes its error output.
struct THostLaunch {
    QByteArray Loader;
    QByteArray Program;
    QList<QByteArray> Environment;
    QByteArray LogFile;
};

// One plug-in host process and the shared memory it reads and writes. The
// caller serialises every use. A host that dies, answers out of turn or is
// silent longer than the time-out is killed; the next call starts another.
class TSPIHost {
public:
    TSPIHost() = default;
    ~TSPIHost();
    TSPIHost(const TSPIHost&) = delete;
    TSPIHost& operator=(const TSPIHost&) = delete;

    // Starts the process when none runs; does not wait for it.
    bool Start(const THostLaunch& launch);
    bool Running() const { return Pid > 0; }
    // Counts the processes started, so a caller notices a new one.
    int Generation() const { return Starts; }
    pid_t ProcessId() const { return Pid; }
    void Kill();
    // Whether the last failed call failed before the host was ready: Wine
    // did not start, which is no plug-in's doing.
    bool FailedAtStart() const { return StartFailure; }
    // Whether the process still runs; one that ended since the last call
    // is noticed here, before a request is lost on it.
    bool Alive() const;

    // How the last call ended.
    enum class TCallEnd { Answered, StartFailed, Died, Silent, Overdue, Abandoned, Garbled };
    TCallEnd LastEnd() const { return End; }
    // How long a host may take to become ready.
    int StartTimeoutMs = 60000;

    using TProgressSink = std::function<void(int done, int total)>;
    // Asked every few milliseconds while a call waits; true gives it up.
    using TWaiting = std::function<bool()>;
    // Sends a request and waits for its reply, handing progress messages to
    // the sink. A sign of life (a message) restarts the time-out; nothing
    // extends the deadline (0: none). A call given up asks the plug-in to
    // stop and waits a moment for its reply. False when the host failed or
    // the call was given up; the host is gone then.
    bool Call(quint32 kind, const QByteArray& fields, QByteArray& reply, int timeoutMs,
              const TProgressSink& progress = {}, const TWaiting& waiting = {}, int deadlineMs = 0);

    // Shared memory of at least that many data bytes, mapped by both sides.
    bool EnsureShared(quint64 dataBytes, int timeoutMs);
    char* SharedData() const;
    quint64 SharedDataSize() const;
    // Gives a large mapping back after use, so a huge picture is not kept.
    void ShrinkShared(int timeoutMs);
    void SetStop(bool stop);

    // Whether this process may read the ready host's memory: the probe the
    // host named read back as sent. Machines that forbid it (a strict ptrace
    // policy, a sandbox) take pictures through the shared memory instead.
    bool ReadsDirectly() const { return Ready && Direct; }
    // Reads that many bytes of the host's memory; false when any is missing.
    bool ReadMemory(quint64 address, char* to, quint64 count) const;
    // Sends a request that has no reply; a host that has gone is noticed by
    // the next call.
    void Tell(quint32 kind);

private:
    bool WaitReady(int timeoutMs, const TWaiting& waiting);
    TCallEnd Receive(quint32& kind, QByteArray& payload, int timeoutMs, const TWaiting& waiting);
    bool SendMessage(quint32 kind, const QByteArray& fields);
    bool MapNew(quint64 dataBytes, int timeoutMs);
    void Unmap();

    pid_t Pid = -1;
    int ToHost = -1;
    int FromHost = -1;
    int PidFd = -1;
    THostLaunch Launched; // how the process was last started
    bool Ready = false;
    bool Direct = false;
    bool StartFailure = false;
    bool InCall = false; // a call waits for its reply (a nested one is refused)
    TCallEnd End = TCallEnd::Answered;
    int Starts = 0;
    QByteArray Pending; // bytes read past the last message
    char* Shared = nullptr;
    quint64 SharedSize = 0;
};

// The folder where shared memory files are made.
QString SharedMemoryFolder();
