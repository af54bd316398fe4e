#include "app/Preloader.h"

#include "app/MainRules.h"
#include "platform/DirectoryList.h"
#include "platform/Exceptions.h"
#include "platform/FileName.h"
#include "settings/Settings.h"
#include "toolkit/Busy.h"
#include "toolkit/JPEGImage.h"
#include "toolkit/Picture.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <climits>
#include <malloc.h>
#include <stdexcept>
#include <sys/stat.h>

QSize DisplaySize(const TDisplayFit& fit, QSize natural) {
    if (FitShowsActualSize(fit.DispSize, fit.Zoom, natural, fit.View))
        return natural;
    if (fit.Proportional == 1)
        return ProportionalStretchSize(fit.View.width(), fit.View.height(), natural.width(),
                                       natural.height());
    return fit.Viewport;
}

void KeepPictureMemory() {
    // No block is mapped on its own (those go back at once when freed), and
    // the heap's free top is never given back.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
}

namespace {
std::unique_ptr<TPreloader>& StartPreloader() {
    static std::unique_ptr<TPreloader> started;
    return started;
}

// Whether a picture decoded for the fit held is large enough for the fit
// wanted.
bool Covers(const TDisplayFit& held, const TDisplayFit& wanted, const TGraphic& graphic) {
    if (held == wanted)
        return true;
    const QSize natural(graphic.Width(), graphic.Height());
    const QSize a = DisplaySize(held, natural), b = DisplaySize(wanted, natural);
    return a.width() >= b.width() && a.height() >= b.height();
}

// The first name as the file list sorts: without regard to case, then by case.
bool SortsBefore(const QString& a, const QString& b) {
    const int c = QStringView(a.toCaseFolded()).compare(QStringView(b.toCaseFolded()));
    return c != 0 ? c < 0 : QStringView(a).compare(QStringView(b)) < 0;
}
} // namespace

std::optional<TDisplayFit> StoredStartFit() {
    // The view is smaller than the window; the window less the tree's pane
    // is a size the view never exceeds, so the guess is decoded large enough.
    const auto read = [](const char* section, const char* key) {
        return StoredSetting(QLatin1String(section), QLatin1String(key));
    };
    if (read("WINDOW", "State") != 1)
        return std::nullopt; // maximized or minimized: the view's size is not known here
    TDisplayFit fit{read("ACTION", "DispSize"), read("ACTION", "Zoom"),
                    read("ACTION", "Proportional"), QSize(), QSize()};
    if (fit.DispSize != 0) {
        const int left = read("SETTING", "Tree") != 0 ? read("WINDOW", "SplMain") : 0;
        fit.View = QSize(read("WINDOW", "Width") - qMax(0, left), read("WINDOW", "Height"));
        fit.Viewport = fit.View;
    } else {
        fit.Zoom = fit.Proportional = 0;
    }
    return fit;
}

void GuessStartPicture(const QString& argument) {
    if (const std::optional<TDisplayFit> fit = StoredStartFit())
        GuessStartPicture(argument, *fit);
}

void GuessStartPicture(const QString& argument, const TDisplayFit& fit) {
    const QFileInfo info(argument);
    const QString folder = info.isDir() ? argument : info.absolutePath();
    QHash<QString, TGraphicClass> classes;
    for (const QString& ext : TPicture::RegisteredExtensions())
        classes.insert(ext, TPicture::FileFormatClass(ext));
    StartPreloader() = std::make_unique<TPreloader>();
    StartPreloader()->Guess(folder, classes, fit);
}

std::unique_ptr<TPreloader> TakeStartPreloader() {
    if (StartPreloader())
        return std::move(StartPreloader());
    return std::make_unique<TPreloader>();
}

TPreloader::TPreloader() : Worker([this] { Run(); }) {}

TPreloader::~TPreloader() {
    {
        const std::lock_guard<std::mutex> guard(Lock);
        Stopping = true;
        for (const auto& entry : Entries)
            entry->Cancelled = true; // a decode under way stops at its next report
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
    // A running decode stops early and ends on the worker, which frees it.
    entry->Dropped = true;
    entry->Cancelled = true;
    std::erase(Entries, entry);
}

void TPreloader::Want(const QStringList& paths, const TDisplayFit& fit) {
    std::unique_lock<std::mutex> lock(Lock);
    const QStringList wanted = Enabled ? paths.mid(0, MaxKept) : QStringList();
    const auto old = Entries;
    std::deque<std::shared_ptr<TEntry>> ordered;
    for (const auto& entry : old) {
        if (!entry->Folder.isEmpty())
            ordered.push_back(entry); // the start guess stays until it is asked for
        else if (!wanted.contains(entry->Path) || !(entry->Fit == fit))
            Drop(lock, entry);
    }
    for (const QString& path : wanted) {
        auto it = std::find_if(Entries.begin(), Entries.end(), [&](const auto& e) {
            return e->Path == path && e->Folder.isEmpty();
        });
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
    // The start guess: wait until its folder is listed, then it is either
    // this picture or of no more use.
    std::shared_ptr<TEntry> guess;
    for (const auto& e : Entries)
        if (!e->Folder.isEmpty())
            guess = e;
    if (guess) {
        Changed.wait(lock, [&] { return !guess->Guessed; });
        if (guess->Path != path || guess->State == TState::Queued)
            Drop(lock, guess);
    }
    auto it = std::find_if(Entries.begin(), Entries.end(),
                           [&](const auto& e) { return e->Path == path; });
    if (it == Entries.end())
        return nullptr;
    const std::shared_ptr<TEntry> entry = *it;
    // At its own size a JPEG's first view comes in a fifth of its decode; a
    // preload with more than that to go is not waited for.
    const bool farFromDone = entry->Folder.isEmpty() && fit.DispSize == 0 &&
                             entry->Class == TJPEGImage::StaticClass() &&
                             entry->State == TState::Running && entry->Percent < 75;
    if ((entry->Folder.isEmpty() && !(entry->Fit == fit)) || entry->State == TState::Queued ||
        farFromDone) {
        Drop(lock, entry);
        return nullptr;
    }
    // Half decoded already: finishing it is quicker than starting again. The
    // window's events run meanwhile: a plug-in may take its time.
    while (!Changed.wait_for(lock, std::chrono::milliseconds(20),
                             [&] { return entry->State == TState::Done; })) {
        lock.unlock();
        ProcessMessages();
        lock.lock();
    }
    Drop(lock, entry);
    if (!entry->Graphic || !(entry->Stamp == StampOf(path)) ||
        !Covers(entry->Fit, fit, *entry->Graphic))
        return nullptr;
    ++HandedCount;
    return std::move(entry->Graphic);
}

void TPreloader::Clear() {
    std::unique_lock<std::mutex> lock(Lock);
    const auto old = Entries;
    for (const auto& entry : old)
        if (entry->Folder.isEmpty())
            Drop(lock, entry);
}

void TPreloader::Guess(const QString& folder, const QHash<QString, TGraphicClass>& classes,
                       const TDisplayFit& fit) {
    auto entry = std::make_shared<TEntry>();
    entry->Folder = folder;
    entry->Guessed = true;
    entry->Classes = classes;
    entry->Fit = fit;
    // The window is not made yet; its view shows no more than the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        entry->FirstView = QRect(QPoint(0, 0), fit.View.isEmpty() ? screen->size() : fit.View);
    {
        const std::lock_guard<std::mutex> guard(Lock);
        Entries.push_front(std::move(entry));
    }
    Changed.notify_all();
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
        QString path = entry->Path;
        TGraphicClass cls = entry->Class;
        const TDisplayFit fit = entry->Fit;
        const bool guessed = entry->Guessed;
        lock.unlock();
        if (guessed) {
            QString first;
            ForEachDirectoryEntry(entry->Folder, [&](const QString& name, bool isDirectory) {
                const QStringView ext = ExtractFileExt(name);
                if (!isDirectory && !ext.isEmpty() &&
                    (first.isEmpty() || SortsBefore(name, first)) &&
                    entry->Classes.contains(ext.mid(1).toString().toLower()))
                    first = name;
                return true;
            });
            path = first.isEmpty() ? QString() : JoinPath(entry->Folder, first);
            cls =
                first.isEmpty() ? nullptr : entry->Classes.value(GraphicExtension(first).toLower());
            lock.lock();
            entry->Path = path;
            entry->Guessed = false;
            lock.unlock();
            Changed.notify_all();
        }

        const TFileStamp stamp = StampOf(path);
        std::unique_ptr<TGraphic> graphic;
        try {
            if (!cls || !cls->Create)
                throw std::runtime_error("no picture");
            graphic = cls->Create();
            // No progress to the window from here, which belongs to its own
            // thread; the progress only tells how far the decode is.
            TEntry* decoding = entry.get();
            graphic->OnProgress = [decoding](TGraphic*, TProgressStage, quint8 percent, bool,
                                             const QRect&, const QString&) {
                decoding->Percent = percent;
                if (decoding->Cancelled)
                    throw EAbort(QString());
            };
            graphic->SetDecodeHint([fit](QSize natural) { return DisplaySize(fit, natural); });
            if (guessed && !entry->FirstView.isEmpty())
                graphic->SetFirstViewHint([fit, view = entry->FirstView](QSize natural) {
                    return DisplaySize(fit, natural) == natural ? view : QRect();
                });
            graphic->LoadFromFile(path);
            graphic->OnProgress = nullptr;
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
