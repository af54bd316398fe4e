#pragma once

#include "spi/SPIHost.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// The bitness of a Windows plug-in file by its PE header: 32 or 64; 0 for a
// file that is no Windows library; -1 for one of another machine.
int WindowsPluginBits(const QString& path);

// What a Windows plug-in told about itself when a host loaded it, kept per
// file (path, size, modification time) so that start-up never waits for Wine.
struct TWinePluginInfo {
    QString Path;
    qint64 Size = -1;
    qint64 Modified = 0;
    int Bits = 0;
    bool Loads = false;
    quint32 Exports = 0;
    QList<QPair<int, QByteArray>> Info; // GetPluginInfo 0, 1, 2, ...: result and UTF-8 text
};

// Where things are and how long a call may take. Read from the environment
// once; tests may change it before the first use.
struct TWineSetup {
    QString Loader32 = QStringLiteral("/usr/lib/wine/wine");
    QString Loader64 = QStringLiteral("/usr/lib/wine/wine64");
    QString HostDir;  // the folder of spihost32.exe and spihost64.exe
    QString CacheDir; // $XDG_CACHE_HOME/velmo: the plug-in information, the host log
    QString Prefix;   // the Wine prefix: $XDG_CACHE_HOME/velmo/wine
    int CallTimeoutMs = 20000;
    // The most one call may take, whatever progress the plug-in reports.
    int CallDeadlineMs = 60000;
    // The most a host may take to start (Wine's first start on a busy machine).
    int StartTimeoutMs = 60000;
    // Pictures are read straight from a host's memory when the system lets
    // this process; off, they always come through the shared memory.
    bool ReadHostMemory = true;
    QString InfoFile() const { return CacheDir + QStringLiteral("/winplugins.json"); }
    QString LogFile() const { return CacheDir + QStringLiteral("/spihost.log"); }
};

// Everything the program shares about Windows plug-ins: the setup, the
// known plug-in information, the Wine prefix made in the background, one
// host per bitness, the plug-ins that killed their host, and the notices
// for the status bar. One per process.
class TWinePlugins {
public:
    TWinePlugins();
    ~TWinePlugins();

    TWineSetup Setup;

    bool HasLoader(int bits) const;
    // The one line that says what to install for a plug-in of that bitness.
    static QString MissingWineText(const QString& pluginName, int bits);
    bool PrefixReady() const;
    THostLaunch Launch(int bits) const;

    // The stored information of the file when it is still the same file.
    std::optional<TWinePluginInfo> Known(const QString& path);
    // Asks a host now (making the prefix first when there is none).
    std::optional<TWinePluginInfo> Probe(const QString& path, int bits);
    // Asks in the background; the attached receiver hears when it is done.
    // Without a path, only the prefix is made (again).
    void Learn(const QString& path, int bits);
    // What says that the host of that bitness is missing and where it was
    // looked for; empty when it is there.
    QString MissingHost(int bits) const;

    // The host of a bitness, started when none runs; nullptr when no
    // prefix is made yet (the background then makes it).
    TSPIHost* Host(int bits);
    // Starts the host of that bitness without waiting for it, when nothing
    // else uses the hosts right now.
    void WarmUp(int bits);
    // Ends both hosts (the next call starts them again).
    void StopHosts();

    // Gives up every call under way (the window's thread then raises EAbort,
    // another thread's call fails): a key or the close while the window waits
    // for a plug-in. True when a call was under way.
    bool AbandonCalls();
    // Gives up every call, now and later: the program ends.
    void EndCalls();
    // What a call made now waits with: on the window's thread it lets the
    // window's events run; on another it gives way when the window waits for
    // the plug-ins. `more` may give it up too. The call was given up by the
    // window or the program's end when `abandoned` is set.
    std::function<bool()> Waiting(const std::function<bool()>& more, bool& abandoned);
    // Counts the window's thread waiting for another thread's plug-in call.
    void WindowWaits(int change) { WindowWaiting += change; }

    // A plug-in that killed its host with that file: true when it has now
    // done so twice and is set aside until the program starts again.
    bool NoteKill(const QString& plugin, const QByteArray& name);
    bool KilledBy(const QString& plugin, const QByteArray& name) const;
    bool SetAside(const QString& plugin) const;

    // Who hears notices and learned plug-ins, on its own thread.
    struct TReceiver {
        QPointer<QObject> Context;
        std::function<void(const QString&)> Notice;
        std::function<void()> Learned;
    };
    void Attach(const TReceiver& receiver);
    void Detach(const QObject* context);
    void Notify(const QString& text);

private:
    bool MakePrefix();
    void RunLearning();
    void Remember(const TWinePluginInfo& info);
    void LoadInfoFile();
    void SaveInfoFile();
    std::optional<TWinePluginInfo> AskHost(TSPIHost& host, const QString& path, int bits);

    mutable std::mutex Lock; // guards everything below
    bool InfoLoaded = false;
    QHash<QString, TWinePluginInfo> Infos;
    QList<QPair<QString, int>> ToLearn;
    bool Learning = false;
    std::thread Learner;
    TReceiver Receiver;
    QHash<QString, QSet<QByteArray>> Kills;
    QSet<QString> Aside;
    std::unique_ptr<TSPIHost> Hosts[2];
    std::atomic<int> Abandons{0};
    std::atomic<int> WindowWaiting{0};
    std::atomic<int> CallsUnderWay{0};
    std::atomic<bool> Ending{false};
    mutable std::atomic<bool> LogRefusedTold{false};
    QSet<int> HostsTold;
};

// Whether this is the thread of the window (the application's).
bool OnWindowThread();

TWinePlugins& WinePlugins();
