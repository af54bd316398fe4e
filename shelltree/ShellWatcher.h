#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

class TMountListener;
class TPlatformServices;
class TShellTreeView;
struct TDeviceChangeData;
struct TMountEntry;

// The change kinds a watcher can be asked for: folders created, deleted or
// renamed.
enum : unsigned { FILE_NOTIFY_CHANGE_DIR_NAME = 2 };
// A device notice's events.
enum : int { DBT_DEVICEARRIVAL = 0x8000, DBT_DEVICEREMOVECOMPLETE = 0x8004 };

// One watcher thread per tree. It sleeps until a watched folder gains, loses
// or renames a subfolder, waits until such changes have stopped for 1500 ms
// and then asks the tree to refresh; device notices posted to it are handed
// on after 1000 ms without a newer one. Both reach the tree through a
// blocking call into the user-interface thread. The thread starts when the
// watcher is made and frees the watcher when it ends; nobody waits for it.
class TShDirWatcher {
public:
    using TDirChangeEvent = std::function<void(TShDirWatcher*)>;
    // The handler owns the notice it is given.
    using TDeviceChangeEvent = std::function<void(TShDirWatcher*, TDeviceChangeData*)>;

    TShDirWatcher(const QStringList* directories, unsigned filter, TDeviceChangeEvent onDevice,
                  TDirChangeEvent onDir);
    TShDirWatcher(const TShDirWatcher&) = delete;
    TShDirWatcher& operator=(const TShDirWatcher&) = delete;

    // Replaces the watched folders by the existing ones of `list` (none:
    // watches nothing) when they differ.
    void SetDirectories(const QStringList* list);
    // Hands a notice on after the quiet time; an older one not yet handed on
    // is dropped. Without a device handler the notice is freed at once.
    void PostDeviceChange(TDeviceChangeData* notice);
    // Detaches both handlers and ends the thread. The watcher must not be
    // touched afterwards.
    void StopWatching();

    // Run on the user-interface thread when the thread ends on its own (an
    // error); afterwards the watcher is gone.
    std::function<void()> OnTerminate;

    // The folders watched now, each ending in "/".
    QStringList Directories() const;
    // Folder changes the thread has seen and refreshes it asked for.
    int ChangesSeen() const { return FChangesSeen; }
    int Refreshes() const { return FRefreshes; }
    // Watches the thread has made, and whether it waits for a delivery to
    // be run on the user-interface thread.
    int Watching() const { return FWatching; }
    bool Delivering() const { return FDelivering; }
    // The thread's system id, once it runs.
    int ThreadId() const { return FThreadId; }
    // Watchers whose thread has not ended yet, in the process.
    static int Running();

private:
    ~TShDirWatcher();
    void Execute();
    // Waits for the stop signal and what `what` names (device notices, a new
    // folder list, folder changes), up to `timeout` ms (-1: no limit).
    int Wait(int timeout, unsigned what);
    // Reads the queued folder events; the folder changes among them, or -1.
    int ReadChanges(bool count);
    void ForgetWatch(int wd);
    // Brings the watches in line with the folder list.
    bool BuildWaitSet();
    // Waits out the device quiet time and hands the notice on.
    bool DeviceStep();
    // Runs `call` on the user-interface thread and waits for it.
    bool Deliver(std::function<void()> call);

    std::shared_ptr<TPlatformServices> Services;
    unsigned Filter;
    QStringList Dirs;
    TDeviceChangeData* PendingNotice = nullptr;
    mutable std::mutex Lock; // the folder list and the pending notice
    int StopEvent = -1, DeviceEvent = -1, ListChangedEvent = -1, ChangeQueue = -1;
    // The thread's own: watched folders and their watch ids, and how many
    // folders share each id.
    std::map<QByteArray, int> Watches;
    std::map<int, int> WatchUsers;
    QObject Port; // on the user-interface thread: deliveries run there
    TDeviceChangeEvent OnDeviceChange;
    TDirChangeEvent OnDirChange;
    std::atomic<int> FChangesSeen{0};
    int FRefreshes = 0;
    std::atomic<int> FThreadId{0};
    std::atomic<bool> Failed{false};
    std::atomic<int> FWatching{0};
    std::atomic<bool> FDelivering{false};
};

// Every tree of the process, and the listener that turns mounts coming and
// going into device notices for their watchers. The listener exists while at
// least one tree is registered.
class TShellCtrlList : public QObject {
    Q_OBJECT
public:
    static TShellCtrlList& Instance();
    void Register(TShellTreeView* tree);
    void Unregister(TShellTreeView* tree);
    // Turns mounts appearing and leaving into notices for every tree.
    void MountsChanged(const QList<TMountEntry>& appeared, const QList<TMountEntry>& left);
    // Hands a copy of the notice to every registered tree's watcher.
    void Broadcast(const TDeviceChangeData& notice);

private:
    QList<TShellTreeView*> Trees;
    TMountListener* NotificationWindow = nullptr;
};

// The caption of a media notice: on arrival the volume label, lower-cased
// with its first letter raised, then " (drive)"; on removal " (drive)".
QString DeviceCaption(const QString& label, const QString& drive, bool arrival);
