#include "app/Preloader.h"

#include "app/MainRules.h"
#include "platform/FileName.h"
#include "toolkit/Picture.h"

#include <algorithm>
#include <sys/stat.h>

QSize DisplaySize(const TDisplayFit& fit, QSize natural) {
    if (FitShowsActualSize(fit.DispSize, fit.Zoom, natural, fit.View))
        return natural;
    if (fit.Proportional == 1)
        return ProportionalStretchSize(fit.View.width(), fit.View.height(), natural.width(),
                                       natural.height());
    return fit.Viewport;
}

TPreloader::TPreloader() : Worker([this] { Run(); }) {}

TPreloader::~TPreloader() {
    {
        const std::lock_guard<std::mutex> guard(Lock);
        Stopping = true;
        Entries.clear();
    }
    Changed.notify_all();
    Worker.join();
}

TPreloader::TFileStamp TPreloader::StampOf(const QString& path) {
    struct stat st {};
    if (::stat(PathToBytes(path).constData(), &st) != 0)
        return {};
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void TPreloader::Drop(std::unique_lock<std::mutex>&, std::shared_ptr<TEntry> entry) {
    // A running decode ends on the worker, which then frees it.
    entry->Dropped = true;
    std::erase(Entries, entry);
}

void TPreloader::Want(const QStringList& paths, const TDisplayFit& fit) {
    std::unique_lock<std::mutex> lock(Lock);
    const QStringList wanted = Enabled ? paths.mid(0, MaxKept) : QStringList();
    const auto old = Entries;
    for (const auto& entry : old)
        if (!wanted.contains(entry->Path) || !(entry->Fit == fit))
            Drop(lock, entry);
    std::deque<std::shared_ptr<TEntry>> ordered;
    for (const QString& path : wanted) {
        auto it = std::find_if(Entries.begin(), Entries.end(),
                               [&](const auto& e) { return e->Path == path; });
        if (it != Entries.end()) {
            ordered.push_back(*it);
            continue;
        }
        // The class is chosen here, so the worker never reads the registry.
        const TGraphicClass cls = TPicture::FileFormatClass(GraphicExtension(path));
        if (!cls || !cls->Create)
            continue; // the load on show words the failure
        auto entry = std::make_shared<TEntry>();
        entry->Path = path;
        entry->Class = cls;
        entry->Fit = fit;
        ordered.push_back(std::move(entry));
    }
    Entries = std::move(ordered);
    lock.unlock();
    Changed.notify_all();
}

std::unique_ptr<TGraphic> TPreloader::Take(const QString& path, const TDisplayFit& fit) {
    std::unique_lock<std::mutex> lock(Lock);
    auto it = std::find_if(Entries.begin(), Entries.end(),
                           [&](const auto& e) { return e->Path == path; });
    if (it == Entries.end())
        return nullptr;
    const std::shared_ptr<TEntry> entry = *it;
    if (!(entry->Fit == fit) || entry->State == TState::Queued) {
        Drop(lock, entry);
        return nullptr;
    }
    // Half decoded already: finishing it is quicker than starting again.
    Changed.wait(lock, [&] { return entry->State == TState::Done; });
    Drop(lock, entry);
    if (!entry->Graphic || !(entry->Stamp == StampOf(path)))
        return nullptr;
    ++HandedCount;
    return std::move(entry->Graphic);
}

void TPreloader::Clear() {
    std::unique_lock<std::mutex> lock(Lock);
    const auto old = Entries;
    for (const auto& entry : old)
        Drop(lock, entry);
}

void TPreloader::SetEnabled(bool enabled) {
    const std::lock_guard<std::mutex> guard(Lock);
    Enabled = enabled;
}

bool TPreloader::Finished(const QString& path) const {
    const std::lock_guard<std::mutex> guard(Lock);
    return std::any_of(Entries.begin(), Entries.end(),
                       [&](const auto& e) { return e->Path == path && e->State == TState::Done; });
}

int TPreloader::Handed() const {
    const std::lock_guard<std::mutex> guard(Lock);
    return HandedCount;
}

void TPreloader::Run() {
    std::unique_lock<std::mutex> lock(Lock);
    for (;;) {
        std::shared_ptr<TEntry> entry;
        Changed.wait(lock, [&] {
            if (Stopping)
                return true;
            for (const auto& e : Entries)
                if (e->State == TState::Queued) {
                    entry = e;
                    return true;
                }
            return false;
        });
        if (Stopping)
            return;
        entry->State = TState::Running;
        const QString path = entry->Path;
        const TGraphicClass cls = entry->Class;
        const TDisplayFit fit = entry->Fit;
        lock.unlock();

        const TFileStamp stamp = StampOf(path);
        std::unique_ptr<TGraphic> graphic;
        try {
            graphic = cls->Create();
            // No progress from here: the window belongs to its own thread.
            graphic->OnProgress = nullptr;
            graphic->SetDecodeHint([fit](QSize natural) { return DisplaySize(fit, natural); });
            graphic->LoadFromFile(path);
        } catch (...) {
            // Not reported: the picture may never be shown. Showing it loads
            // it again and reports what fails then.
            graphic.reset();
        }

        lock.lock();
        entry->State = TState::Done;
        entry->Stamp = stamp;
        if (!entry->Dropped)
            entry->Graphic = std::move(graphic);
        lock.unlock();
        Changed.notify_all();
        graphic.reset(); // a dropped picture is freed outside the lock
        entry.reset();
        lock.lock();
    }
}
