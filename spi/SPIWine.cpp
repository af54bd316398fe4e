#include "spi/SPIWine.h"

#include "platform/FileName.h"
#include "spihost/SpiHostProtocol.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <QtEndian>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Prefix creation and the first host start may take long on a busy machine.
const int PrepareTimeoutMs = 300000;
// The hosts' log starts afresh when it has grown past this.
const qint64 LogLimit = 1 << 20;

struct TStamp {
    qint64 Size = -1;
    qint64 Modified = 0;
};

TStamp StampOf(const QString& path) {
    struct stat st;
    if (::stat(PathToBytes(path).constData(), &st) != 0)
        return {};
    return {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

QString ProgramDir() {
    if (char* exe = ::realpath("/proc/self/exe", nullptr)) {
        const QString path = PathFromBytes(exe);
        ::free(exe);
        return path.left(path.lastIndexOf(QLatin1Char('/')));
    }
    return QCoreApplication::applicationDirPath();
}

// Runs a program to its end with its output in the log; one that takes
// longer than the time-out is killed.
void RunToEnd(const THostLaunch& launch, const QByteArray& argument, int timeoutMs) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, launch.LogFile.constData(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv{const_cast<char*>(launch.Loader.constData()),
                            const_cast<char*>(launch.Program.constData())};
    if (!argument.isEmpty())
        argv.push_back(const_cast<char*>(argument.constData()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const QByteArray& e : launch.Environment)
        envp.push_back(const_cast<char*>(e.constData()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int failed =
        posix_spawn(&pid, launch.Loader.constData(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return;
    for (int waited = 0; ::waitpid(pid, nullptr, WNOHANG) != pid; waited += 50) {
        if (waited >= timeoutMs) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return;
        }
        ::usleep(50000);
    }
}

} // namespace

int WindowsPluginBits(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray dos = file.read(64);
    if (dos.size() < 64 || !dos.startsWith("MZ"))
        return 0;
    const quint32 peAt = qFromLittleEndian<quint32>(dos.constData() + 0x3c);
    if (!file.seek(peAt))
        return 0;
    const QByteArray pe = file.read(6);
    if (pe.size() < 6 || !pe.startsWith(QByteArray("PE\0\0", 4)))
        return 0;
    switch (qFromLittleEndian<quint16>(pe.constData() + 4)) {
    case 0x014c:
        return 32;
    case 0x8664:
        return 64;
    default:
        return -1;
    }
}

TWinePlugins& WinePlugins() {
    // Never destroyed: a prefix still being made when the program ends
    // finishes on its own, its thread touching nothing that is gone; the
    // hosts end when their input closes with the program.
    static TWinePlugins* plugins = new TWinePlugins;
    return *plugins;
}

TWinePlugins::TWinePlugins() {
    Setup.HostDir = ProgramDir();
    if (!QFileInfo::exists(Setup.HostDir + QStringLiteral("/spihost64.exe")) &&
        !QFileInfo::exists(Setup.HostDir + QStringLiteral("/spihost32.exe")))
        Setup.HostDir = QStringLiteral(VELMO_HOST_DIR);
    Setup.CacheDir = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                     QStringLiteral("/velmo");
    Setup.Prefix = Setup.CacheDir + QStringLiteral("/wine");
}

TWinePlugins::~TWinePlugins() {
    if (Learner.joinable())
        Learner.detach();
}

bool TWinePlugins::HasLoader(int bits) const {
    return QFileInfo(bits == 32 ? Setup.Loader32 : Setup.Loader64).isExecutable();
}

QString TWinePlugins::MissingWineText(const QString& pluginName, int bits) {
    return QStringLiteral("Windows 用プラグイン %1 には Wine が要ります (パッケージ %2)")
        .arg(pluginName, bits == 32 ? QStringLiteral("wine32:i386") : QStringLiteral("wine64"));
}

bool TWinePlugins::PrefixReady() const {
    return QFileInfo::exists(Setup.Prefix + QStringLiteral("/system.reg"));
}

THostLaunch TWinePlugins::Launch(int bits) const {
    THostLaunch launch;
    launch.Loader = QFile::encodeName(bits == 32 ? Setup.Loader32 : Setup.Loader64);
    launch.Program = QFile::encodeName(Setup.HostDir + QStringLiteral("/spihost%1.exe").arg(bits));
    launch.LogFile = QFile::encodeName(Setup.LogFile());
    QDir().mkpath(Setup.CacheDir); // where the log goes
    // Cut short in place: a host still writing to it would keep a removed
    // file's space for as long as it runs.
    if (QFileInfo(Setup.LogFile()).size() > LogLimit)
        ::truncate(launch.LogFile.constData(), 0);
    const int log =
        ::open(launch.LogFile.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (log >= 0) {
        ::close(log);
    } else {
        // No log rather than no host.
        launch.LogFile = "/dev/null";
        if (!LogRefusedTold.exchange(true))
            const_cast<TWinePlugins*>(this)->Notify(
                QStringLiteral(
                    "Windows 用プラグインのホストのログ %1 を書けません (ログなしで続けます)")
                    .arg(Setup.LogFile()));
    }
    // One fixed folder for the server socket of every Wine process the
    // program starts; no window, no installers, no debug output.
    const QByteArrayList dropped{"WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES",
                                 "TMPDIR",     "DISPLAY",   "WAYLAND_DISPLAY"};
    for (char** e = environ; *e; ++e) {
        const QByteArray entry(*e);
        if (!dropped.contains(entry.left(entry.indexOf('='))))
            launch.Environment << entry;
    }
    launch.Environment << "WINEPREFIX=" + QFile::encodeName(Setup.Prefix) << "WINEDEBUG=-all"
                       << "WINEDLLOVERRIDES=mscoree,mshtml="
                       << "TMPDIR=/tmp";
    return launch;
}

// ---- Plug-in information ---------------------------------------------------------------

void TWinePlugins::LoadInfoFile() {
    if (InfoLoaded)
        return;
    InfoLoaded = true;
    QFile file(Setup.InfoFile());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject all = QJsonDocument::fromJson(file.readAll()).object();
    for (auto it = all.begin(); it != all.end(); ++it) {
        const QJsonObject o = it.value().toObject();
        TWinePluginInfo info;
        info.Path = it.key();
        info.Size = qint64(o.value(QLatin1String("size")).toDouble(-1));
        info.Modified = o.value(QLatin1String("modified")).toString().toLongLong();
        info.Bits = o.value(QLatin1String("bits")).toInt();
        info.Loads = o.value(QLatin1String("loads")).toBool();
        info.Exports = quint32(o.value(QLatin1String("exports")).toInt());
        for (const QJsonValue& v : o.value(QLatin1String("info")).toArray())
            info.Info.append({v.toArray().at(0).toInt(), v.toArray().at(1).toString().toUtf8()});
        Infos.insert(info.Path, info);
    }
}

void TWinePlugins::SaveInfoFile() {
    QJsonObject all;
    for (const TWinePluginInfo& info : std::as_const(Infos)) {
        QJsonArray texts;
        for (const auto& [result, text] : info.Info)
            texts.append(QJsonArray{result, QString::fromUtf8(text)});
        all.insert(info.Path,
                   QJsonObject{{QLatin1String("size"), double(info.Size)},
                               {QLatin1String("modified"), QString::number(info.Modified)},
                               {QLatin1String("bits"), info.Bits},
                               {QLatin1String("loads"), info.Loads},
                               {QLatin1String("exports"), int(info.Exports)},
                               {QLatin1String("info"), texts}});
    }
    QDir().mkpath(Setup.CacheDir);
    QSaveFile file(Setup.InfoFile());
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QJsonDocument(all).toJson(QJsonDocument::Compact));
        file.commit();
    }
}

std::optional<TWinePluginInfo> TWinePlugins::Known(const QString& path) {
    const std::lock_guard<std::mutex> locked(Lock);
    LoadInfoFile();
    const auto it = Infos.constFind(path);
    const TStamp stamp = StampOf(path);
    if (it == Infos.constEnd() || it->Size != stamp.Size || it->Modified != stamp.Modified)
        return std::nullopt;
    return *it;
}

void TWinePlugins::Remember(const TWinePluginInfo& info) {
    const std::lock_guard<std::mutex> locked(Lock);
    LoadInfoFile();
    Infos.insert(info.Path, info);
    SaveInfoFile();
}

std::optional<TWinePluginInfo> TWinePlugins::AskHost(TSPIHost& host, const QString& path,
                                                     int bits) {
    TWinePluginInfo info;
    info.Path = path;
    info.Bits = bits;
    const TStamp stamp = StampOf(path);
    info.Size = stamp.Size;
    info.Modified = stamp.Modified;
    QByteArray reply;
    const bool answered = host.Start(Launch(bits)) &&
                          host.Call(SPIHOST_LOAD, TWireWriter().Text(PathToBytes(path)).Bytes(),
                                    reply, PrepareTimeoutMs);
    if (!answered) {
        qWarning("spihost: %s could not be asked (%s)", qPrintable(path),
                 qPrintable(Setup.LogFile()));
        return std::nullopt; // asked again at the next start
    }
    TWireReader r(reply);
    info.Loads = r.I32() >= 0;
    info.Exports = quint32(r.I32());
    const int count = r.I32();
    for (int i = 0; i < count && r.Ok(); ++i) {
        const int result = r.I32();
        info.Info.append({result, r.Text()});
    }
    if (!r.Ok())
        return std::nullopt;
    Remember(info);
    return info;
}

bool TWinePlugins::MakePrefix() {
    if (PrefixReady())
        return true;
    QDir().mkpath(Setup.CacheDir);
    QDir().mkpath(QFileInfo(Setup.Prefix).path());
    // Another copy (another test) may be making the same prefix: one at a time.
    const int lock = ::open(QFile::encodeName(Setup.Prefix + QStringLiteral(".lock")),
                            O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock >= 0)
        while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
        }
    bool ready = PrefixReady();
    if (!ready) {
        const int bits = HasLoader(64) ? 64 : 32;
        THostLaunch launch = Launch(bits);
        launch.Program = "wineboot";
        // What counts is the prefix made: wineboot's exit status varies, and
        // the registry files appear when the server that wineboot left
        // behind has saved them and ended.
        RunToEnd(launch, "--init", PrepareTimeoutMs);
        launch.Program = "-w";
        launch.Loader = QFile::encodeName(QFileInfo(QFile::decodeName(launch.Loader)).path() +
                                          QStringLiteral("/wineserver"));
        RunToEnd(launch, QByteArray(), PrepareTimeoutMs);
        ready = PrefixReady();
    }
    if (lock >= 0)
        ::close(lock);
    return ready;
}

std::optional<TWinePluginInfo> TWinePlugins::Probe(const QString& path, int bits) {
    if (auto known = Known(path))
        return known;
    if (!HasLoader(bits) || !MakePrefix())
        return std::nullopt;
    TSPIHost host;
    return AskHost(host, path, bits);
}

void TWinePlugins::Learn(const QString& path, int bits) {
    const std::lock_guard<std::mutex> locked(Lock);
    if (!path.isEmpty() || !Learning)
        ToLearn.append({path, bits});
    if (Learning)
        return;
    Learning = true;
    if (Learner.joinable())
        Learner.join();
    Learner = std::thread([this] { RunLearning(); });
}

QString TWinePlugins::MissingHost(int bits) const {
    const QString name = QStringLiteral("spihost%1.exe").arg(bits);
    if (QFileInfo::exists(Setup.HostDir + QLatin1Char('/') + name))
        return QString();
    return QStringLiteral(
               "Windows 用プラグインのホスト %1 が見つかりません (%2 と %3 を探しました)")
        .arg(name, ProgramDir(), QStringLiteral(VELMO_HOST_DIR));
}

void TWinePlugins::RunLearning() {
    const bool fresh = !PrefixReady();
    if (fresh)
        Notify(QStringLiteral("Windows 用プラグインのために Wine を準備しています (初回のみ)…"));
    const bool ready = MakePrefix();
    // A host that is not there is said once, instead of any success.
    QStringList missing;
    {
        const std::lock_guard<std::mutex> locked(Lock);
        for (const auto& [path, bits] : std::as_const(ToLearn))
            if (!MissingHost(bits).isEmpty() && !HostsTold.contains(bits)) {
                HostsTold.insert(bits);
                missing << MissingHost(bits);
            }
    }
    for (const QString& text : std::as_const(missing))
        Notify(text);
    const QString cache = QFileInfo(Setup.CacheDir).isWritable()
                              ? QStringLiteral("%1 を見てください").arg(Setup.LogFile())
                              : QStringLiteral("%1 に書き込めません").arg(Setup.CacheDir);
    if (fresh && (!ready || missing.isEmpty()))
        Notify(ready ? QStringLiteral("Windows 用プラグインが使えるようになりました")
                     : QStringLiteral("Wine を準備できませんでした (%1)").arg(cache));
    TSPIHost hosts[2];
    for (;;) {
        QPair<QString, int> next;
        {
            const std::lock_guard<std::mutex> locked(Lock);
            if (ToLearn.isEmpty()) {
                // Told while the lock is held, so a plug-in asked for now
                // starts a new round instead of being left behind.
                if (Receiver.Context && Receiver.Learned)
                    QMetaObject::invokeMethod(Receiver.Context.data(), Receiver.Learned,
                                              Qt::QueuedConnection);
                Learning = false;
                return;
            }
            next = ToLearn.takeFirst();
        }
        if (ready && !next.first.isEmpty() && MissingHost(next.second).isEmpty())
            AskHost(hosts[next.second == 32 ? 0 : 1], next.first, next.second);
    }
}

// ---- Hosts ---------------------------------------------------------------------------------

TSPIHost* TWinePlugins::Host(int bits) {
    if (Ending)
        return nullptr;
    if (!PrefixReady()) {
        // Removed or never finished: made again in the background, the
        // status bar telling, as on first use.
        Learn(QString(), bits);
        return nullptr;
    }
    std::unique_ptr<TSPIHost>& host = Hosts[bits == 32 ? 0 : 1];
    if (!host)
        host = std::make_unique<TSPIHost>();
    // A host that ended between calls (killed, or a plug-in that ended it
    // after its last answer) is started afresh: no file's doing.
    if (host->Running() && !host->Alive())
        host->Kill();
    host->StartTimeoutMs = Setup.StartTimeoutMs;
    if (!host->Start(Launch(bits)))
        return nullptr;
    return host.get();
}

void TWinePlugins::WarmUp(int bits) {
    if (HasLoader(bits))
        Host(bits);
}

void TWinePlugins::StopHosts() {
    for (auto& host : Hosts)
        if (host)
            host->Kill();
}

bool TWinePlugins::NoteKill(const QString& plugin, const QByteArray& name) {
    const std::lock_guard<std::mutex> locked(Lock);
    QSet<QByteArray>& kills = Kills[plugin];
    kills.insert(name);
    if (kills.size() < 2 || Aside.contains(plugin))
        return false;
    Aside.insert(plugin);
    return true;
}

bool TWinePlugins::KilledBy(const QString& plugin, const QByteArray& name) const {
    const std::lock_guard<std::mutex> locked(Lock);
    return Kills.value(plugin).contains(name);
}

bool TWinePlugins::SetAside(const QString& plugin) const {
    const std::lock_guard<std::mutex> locked(Lock);
    return Aside.contains(plugin);
}

// ---- Waiting -------------------------------------------------------------------------------

bool OnWindowThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool TWinePlugins::AbandonCalls() {
    ++Abandons;
    return CallsUnderWay > 0 || WindowWaiting > 0;
}

void TWinePlugins::EndCalls() {
    Ending = true;
    ++Abandons;
}

std::function<bool()> TWinePlugins::Waiting(const std::function<bool()>& more, bool& abandoned) {
    abandoned = false;
    const int mark = Abandons;
    const bool window = OnWindowThread();
    ++CallsUnderWay;
    // The count goes down with the last copy of the function.
    std::shared_ptr<void> counted(nullptr, [this](void*) { --CallsUnderWay; });
    return [this, mark, window, more, &abandoned, counted] {
        if (window)
            QCoreApplication::processEvents();
        if (Ending || Abandons != mark || (!window && WindowWaiting > 0)) {
            abandoned = true;
            return true;
        }
        return more && more();
    };
}

// ---- Notices -------------------------------------------------------------------------------

void TWinePlugins::Attach(const TReceiver& receiver) {
    const std::lock_guard<std::mutex> locked(Lock);
    Receiver = receiver;
}

void TWinePlugins::Detach(const QObject* context) {
    const std::lock_guard<std::mutex> locked(Lock);
    if (Receiver.Context == context)
        Receiver = TReceiver();
}

void TWinePlugins::Notify(const QString& text) {
    qWarning("%s", qPrintable(text));
    const std::lock_guard<std::mutex> locked(Lock);
    if (Receiver.Context && Receiver.Notice)
        QMetaObject::invokeMethod(
            Receiver.Context.data(), [notice = Receiver.Notice, text] { notice(text); },
            Qt::QueuedConnection);
}
