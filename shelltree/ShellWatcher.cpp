#include "shelltree/ShellWatcher.h"

#include "platform/FileName.h"
#include "platform/MountListener.h"
#include "platform/PlatformServices.h"
#include "platform/ShellNamespace.h"
#include "shelltree/ShellCtrls.h"

#include <QCoreApplication>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {
std::atomic<int> g_running{0};

// What the thread waits on besides the stop signal.
enum : unsigned { wDevice = 1, wList = 2, wChanges = 4 };
// What a wait ended with.
enum : int { wrError = -1, wrStop = 0, wrDevice = 1, wrList = 2, wrChange = 3, wrTimeOut = 4 };

const int ChangeQuiet = 1500;
const int DeviceQuiet = 1000;

void Signal(int fd) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

void Consume(int fd) {
    uint64_t count;
    [[maybe_unused]] const ssize_t n = ::read(fd, &count, sizeof count);
}

bool IsSignalled(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

// The existing folders of `list`, each ending in "/", sorted.
QStringList ExistingDirectories(const QStringList& list) {
    QStringList result;
    for (QString dir : list) {
        if (!dir.endsWith(QLatin1Char('/')))
            dir += QLatin1Char('/');
        struct stat st;
        if (::stat(PathToBytes(dir).constData(), &st) == 0 && S_ISDIR(st.st_mode))
            result << dir;
    }
    result.sort();
    result.removeDuplicates();
    return result;
}

// The inotify events standing for the change kinds of a filter.
uint32_t WatchMask(unsigned filter) {
    uint32_t mask = IN_ONLYDIR | IN_DELETE_SELF | IN_MOVE_SELF;
    if (filter & FILE_NOTIFY_CHANGE_DIR_NAME)
        mask |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
    return mask;
}
} // namespace

// ---- The watcher ----------------------------------------------------------

TShDirWatcher::TShDirWatcher(const QStringList* directories, unsigned filter,
                             TDeviceChangeEvent onDevice, TDirChangeEvent onDir)
    : Services(Platform()), Filter(filter), OnDeviceChange(std::move(onDevice)),
      OnDirChange(std::move(onDir)) {
    if (directories)
        Dirs = ExistingDirectories(*directories);
    StopEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    DeviceEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ListChangedEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ChangeQueue = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ++g_running;
    try {
        std::thread([this] { Execute(); }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the tree goes on without watching, and the
        // watcher is freed as if its thread had ended at once.
        QTimer::singleShot(0, QCoreApplication::instance(), [this] {
            if (OnTerminate)
                OnTerminate();
            delete this;
        });
    }
}

TShDirWatcher::~TShDirWatcher() {
    for (int fd : {ChangeQueue, ListChangedEvent, DeviceEvent, StopEvent})
        if (fd >= 0)
            ::close(fd);
    delete PendingNotice;
    --g_running;
}

int TShDirWatcher::Running() {
    return g_running;
}

QStringList TShDirWatcher::Directories() const {
    std::lock_guard<std::mutex> guard(Lock);
    return Dirs;
}

void TShDirWatcher::SetDirectories(const QStringList* list) {
    QStringList fresh;
    if (list)
        fresh = ExistingDirectories(*list);
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (list && fresh == Dirs)
            return;
        Dirs = std::move(fresh);
    }
    Signal(ListChangedEvent);
}

void TShDirWatcher::PostDeviceChange(TDeviceChangeData* notice) {
    if (!OnDeviceChange) {
        delete notice;
        return;
    }
    {
        std::lock_guard<std::mutex> guard(Lock);
        delete std::exchange(PendingNotice, notice);
    }
    Signal(DeviceEvent);
}

void TShDirWatcher::StopWatching() {
    OnDirChange = nullptr;
    OnDeviceChange = nullptr;
    // A delivery waiting for this thread is dropped, which lets the watcher
    // thread go on at once and end while the program is still whole, not
    // only when the application object is destroyed at exit.
    QCoreApplication::removePostedEvents(&Port, QEvent::MetaCall);
    // The thread may free the watcher as soon as it sees the signal.
    Signal(StopEvent);
}

int TShDirWatcher::Wait(int timeout, unsigned what) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout);
    for (;;) {
        pollfd fds[4] = {{StopEvent, POLLIN, 0},
                         {(what & wDevice) ? DeviceEvent : -1, POLLIN, 0},
                         {(what & wList) ? ListChangedEvent : -1, POLLIN, 0},
                         {(what & wChanges) ? ChangeQueue : -1, POLLIN, 0}};
        int remaining = -1;
        if (timeout >= 0)
            remaining = int(std::max<Clock::rep>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                       .count()));
        const int ready = ::poll(fds, 4, remaining);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return wrError;
        if (ready == 0)
            return wrTimeOut;
        for (const pollfd& p : fds)
            if (p.revents & (POLLERR | POLLNVAL))
                return wrError;
        if (fds[0].revents & POLLIN)
            return wrStop;
        if (fds[1].revents & POLLIN) {
            Consume(DeviceEvent);
            return wrDevice;
        }
        if (fds[2].revents & POLLIN) {
            Consume(ListChangedEvent);
            return wrList;
        }
        if (fds[3].revents & POLLIN) {
            const int changes = ReadChanges(true);
            if (changes < 0)
                return wrError;
            if (changes > 0)
                return wrChange;
            // Files only: nothing to tell; the quiet time runs on.
        }
    }
}

int TShDirWatcher::ReadChanges(bool count) {
    alignas(inotify_event) char buffer[16384];
    int changes = 0;
    for (;;) {
        const ssize_t n = ::read(ChangeQueue, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        if (n <= 0)
            return -1;
        for (const char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            p += sizeof(inotify_event) + event->len;
            if (event->mask & IN_IGNORED) {
                // The folder is gone (deleted, unmounted): its watch with it.
                ForgetWatch(event->wd);
                continue;
            }
            const bool folder =
                (event->mask & IN_ISDIR) &&
                (event->mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO));
            if (folder || (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_Q_OVERFLOW)))
                ++changes;
            if (event->mask & IN_MOVE_SELF) {
                // The watch went with the folder: a folder made in its place
                // is watched anew once the list names it again.
                ::inotify_rm_watch(ChangeQueue, event->wd);
                ForgetWatch(event->wd);
            }
        }
    }
    if (count)
        FChangesSeen += changes;
    return changes;
}

void TShDirWatcher::ForgetWatch(int wd) {
    if (WatchUsers.erase(wd) == 0)
        return;
    std::lock_guard<std::mutex> guard(Lock);
    for (auto it = Watches.begin(); it != Watches.end();) {
        if (it->second == wd) {
            Dirs.removeOne(PathFromBytes(it->first));
            it = Watches.erase(it);
        } else {
            ++it;
        }
    }
    FWatching = int(Watches.size());
}

bool TShDirWatcher::BuildWaitSet() {
    // Changes queued before the new list count no more, as when every
    // watch is made anew.
    if (ReadChanges(false) < 0)
        return false;
    std::lock_guard<std::mutex> guard(Lock);
    std::map<QByteArray, bool> wanted;
    for (const QString& dir : std::as_const(Dirs))
        wanted[PathToBytes(dir)] = true;
    for (auto it = Watches.begin(); it != Watches.end();) {
        if (wanted.count(it->first)) {
            ++it;
            continue;
        }
        const int wd = it->second;
        it = Watches.erase(it);
        if (--WatchUsers[wd] == 0) {
            WatchUsers.erase(wd);
            // A watch the kernel dropped already (its folder went) is no error.
            if (::inotify_rm_watch(ChangeQueue, wd) != 0 && errno != EINVAL)
                return false;
        }
    }
    const uint32_t mask = WatchMask(Filter);
    // From the last to the first, as the list is walked when watches are made.
    for (qsizetype i = Dirs.size() - 1; i >= 0; --i) {
        const QByteArray path = PathToBytes(Dirs.at(i));
        if (Watches.count(path))
            continue;
        // A folder that went meanwhile, or the system's watch limit reached
        // (ENOSPC): the folder is not watched, quietly.
        int wd = -1;
        if (const int fault = Services->WatchFault(Dirs.at(i)); fault != 0)
            errno = fault;
        else
            wd = ::inotify_add_watch(ChangeQueue, path.constData(), mask);
        if (wd < 0) {
            Dirs.removeAt(i);
            continue;
        }
        Watches[path] = wd;
        ++WatchUsers[wd];
    }
    FWatching = int(Watches.size());
    return true;
}

bool TShDirWatcher::Deliver(std::function<void()> call) {
    auto guarded = [this, call = std::move(call)] {
        try {
            call();
        } catch (const std::exception& e) {
            Failed = true;
            Services->ErrorBox(QString::fromUtf8(e.what()));
        }
    };
    FDelivering = true;
    const bool delivered =
        QMetaObject::invokeMethod(&Port, std::move(guarded), Qt::BlockingQueuedConnection);
    FDelivering = false;
    return delivered && !Failed;
}

bool TShDirWatcher::DeviceStep() {
    for (;;) {
        switch (Wait(DeviceQuiet, wDevice)) {
        case wrDevice:
            continue; // a newer notice: another quiet time
        case wrStop:
            return true;
        case wrTimeOut:
            return Deliver([this] {
                TDeviceChangeData* notice;
                {
                    std::lock_guard<std::mutex> guard(Lock);
                    notice = std::exchange(PendingNotice, nullptr);
                }
                if (notice && OnDeviceChange)
                    OnDeviceChange(this, notice);
                else
                    delete notice;
            });
        default:
            return false;
        }
    }
}

void TShDirWatcher::Execute() {
    FThreadId = int(::gettid());
    ::pthread_setname_np(::pthread_self(), "velmo-watcher");
    bool ok = StopEvent >= 0 && DeviceEvent >= 0 && ListChangedEvent >= 0 && ChangeQueue >= 0 &&
              BuildWaitSet();
    // A change seen, not yet told: told after the quiet time, also when a
    // device notice or a new folder list comes in between.
    bool pending = false;
    while (ok) {
        const int result = Wait(pending ? ChangeQuiet : -1, wDevice | wList | wChanges);
        if (result == wrStop)
            break;
        switch (result) {
        case wrDevice:
            ok = DeviceStep();
            break;
        case wrList:
            ok = BuildWaitSet();
            break;
        case wrChange:
            pending = true;
            break;
        case wrTimeOut:
            pending = false;
            ok = Deliver([this] {
                if (OnDirChange) {
                    ++FRefreshes;
                    OnDirChange(this);
                }
            });
            break;
        default:
            ok = false;
            break;
        }
    }
    // Ended on its own (an error): the tree hears of it and forgets the
    // watcher. Told to stop: nobody is listening any more.
    if (!IsSignalled(StopEvent))
        Deliver([this] {
            if (OnTerminate)
                OnTerminate();
        });
    delete this;
}

// ---- The list of trees and the device listener ----------------------------

TShellCtrlList& TShellCtrlList::Instance() {
    static TShellCtrlList list;
    return list;
}

void TShellCtrlList::Register(TShellTreeView* tree) {
    if (Trees.contains(tree))
        return;
    Trees.append(tree);
    if (Trees.size() == 1) {
        NotificationWindow = new TMountListener(this);
        connect(NotificationWindow, &TMountListener::MountsChanged, this,
                &TShellCtrlList::MountsChanged);
    }
}

void TShellCtrlList::Unregister(TShellTreeView* tree) {
    Trees.removeAll(tree);
    if (Trees.isEmpty()) {
        delete NotificationWindow;
        NotificationWindow = nullptr;
    }
}

void TShellCtrlList::MountsChanged(const QList<TMountEntry>& appeared,
                                   const QList<TMountEntry>& left) {
    try {
        auto notify = [this](const TMountEntry& mount, int event) {
            TDeviceChangeData notice;
            notice.Event = event;
            // A network drive is named too: the tree keeps its selection
            // unless it was on the drive that left.
            notice.DriveID = ConcatIDLists(MakeIDList(sikComputer, QByteArray()),
                                           MakeIDList(sikDrive, PathToBytes(mount.MountPoint)));
            if (MediumKind(mount.FsType) == mkNetwork) {
                notice.Kind = 2;
            } else if (IsRemovableMount(mount)) {
                notice.Kind = 1;
                const QString drive = DisplayPath(mount.MountPoint);
                const bool arrival = event == DBT_DEVICEARRIVAL;
                notice.Caption =
                    DeviceCaption(arrival ? DeviceLabel(mount.Source) : QString(), drive, arrival);
            } else {
                return;
            }
            Broadcast(notice);
        };
        for (const TMountEntry& mount : left)
            notify(mount, DBT_DEVICEREMOVECOMPLETE);
        for (const TMountEntry& mount : appeared)
            notify(mount, DBT_DEVICEARRIVAL);
    } catch (const std::exception& e) {
        Platform()->ErrorBox(QString::fromUtf8(e.what()));
    }
}

void TShellCtrlList::Broadcast(const TDeviceChangeData& notice) {
    for (TShellTreeView* tree : std::as_const(Trees))
        if (TShDirWatcher* watcher = tree->DirWatcher())
            watcher->PostDeviceChange(new TDeviceChangeData(notice));
}

QString DeviceCaption(const QString& label, const QString& drive, bool arrival) {
    const QString bracket = QStringLiteral(" (") + drive + QLatin1Char(')');
    if (!arrival)
        return bracket;
    QString name = label.toLower();
    if (!name.isEmpty() && name.at(0) >= QLatin1Char('a') && name.at(0) <= QLatin1Char('z'))
        name[0] = name.at(0).toUpper();
    return name + bracket;
}
