// The folder watcher under a burst and at rest, measured in one run: a burst
// of 10,000 folders made in a listed folder must cost exactly one refresh of
// the tree, delivered after the 1500 ms quiet time; the watcher thread's CPU
// time for the burst is set against the burst's own (the mkdir calls); the
// one refresh against a plain readdir of the folder; and at rest the watcher
// thread must not wake at all (context switches over 10 s).
//
//   build/bench/bench_watcher [folders]
#include "BenchSupport.h"
#include "shelltree/ShellCtrls.h"
#include "shelltree/ShellWatcher.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>

namespace {
double Milliseconds(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

// A line of a thread's /proc file: its first number.
qint64 TaskFigure(int tid, const char* file, const char* key = nullptr) {
    QFile f(QStringLiteral("/proc/self/task/%1/%2").arg(tid).arg(QLatin1String(file)));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (key && !line.startsWith(key))
            continue;
        return line.mid(key ? qstrlen(key) : 0).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// The thread's time on a processor, in milliseconds.
double CpuMs(int tid) {
    return double(TaskFigure(tid, "schedstat")) / 1e6;
}

qint64 Wakeups(int tid) {
    return TaskFigure(tid, "status", "voluntary_ctxt_switches:") +
           TaskFigure(tid, "status", "nonvoluntary_ctxt_switches:");
}

// Lets events run until `done` or the time is up.
template <typename F> bool RunUntil(F done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir sandbox;
    const QString home = sandbox.path() + "/home";
    QDir().mkpath(home + "/Desktop");
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(sandbox.path() + "/config"));
    const TPlatformScope platform(std::make_shared<TBenchPlatform>());
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;

    TShellTreeView tree;
    tree.Loaded();
    TShDirWatcher* watcher = tree.DirWatcher();
    if (!RunUntil(
            [&] {
                return watcher->ThreadId() != 0 && watcher->Watching() > 0 &&
                       watcher->Watching() == watcher->Directories().size() &&
                       watcher->Directories().contains(home + "/");
            },
            5000)) {
        std::fprintf(stderr, "the watcher does not watch the home folder\n");
        return 1;
    }
    const int tid = watcher->ThreadId();
    QTreeWidgetItem* homeNode = tree.topLevelItem(0)->child(0);

    // The burst, with no events let run, as an unpacking would make it.
    const double cpuBefore = CpuMs(tid);
    QElapsedTimer burst;
    burst.start();
    for (int i = 0; i < count; ++i)
        ::mkdir(QFile::encodeName(home + QStringLiteral("/folder %1").arg(i)).constData(), 0755);
    const double burstMs = Milliseconds(burst);
    QElapsedTimer sinceLast;
    sinceLast.start();
    RunUntil([&] { return watcher->Refreshes() >= 1; }, 30000);
    const double delay = Milliseconds(sinceLast);
    const double watcherCpu = CpuMs(tid) - cpuBefore;
    // Anything later would be a second refresh.
    RunUntil([] { return false; }, 3000);
    const int refreshes = watcher->Refreshes();
    const int shown = homeNode->childCount();

    // The one refresh's work against a plain listing of the folder.
    std::vector<double> plain, refresh;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        PlainListing(QFile::encodeName(home));
        plain.push_back(Milliseconds(timer));
        timer.start();
        tree.RefreshAll();
        refresh.push_back(Milliseconds(timer));
    }

    // At rest: nothing changes for 10 s.
    const qint64 wakeBefore = Wakeups(tid);
    QThread::sleep(10);
    const qint64 idleWakeups = Wakeups(tid) - wakeBefore;

    std::printf("burst of %d folder creations in %.0f ms: %d refresh(es) (goal: exactly 1), "
                "delivered %.0f ms after the last creation (quiet time 1500 ms), "
                "%d folders shown\n",
                count, burstMs, refreshes, delay, shown - 1);
    std::printf("watcher thread CPU for the burst %.1f ms against the mkdir calls' %.0f ms "
                "(%.3fx)\n",
                watcherCpu, burstMs, watcherCpu / burstMs);
    std::printf("the refresh (RefreshAll, nothing new) %.2f ms against readdir of the folder "
                "%.2f ms (%.1fx)\n",
                Median(refresh), Median(plain), Median(refresh) / Median(plain));
    std::printf("watcher thread at rest: %lld wake-ups in 10 s (goal 0)\n",
                static_cast<long long>(idleWakeups));
    return refreshes == 1 && idleWakeups == 0 ? 0 : 1;
}
