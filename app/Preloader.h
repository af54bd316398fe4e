#pragma once

#include "toolkit/Graphic.h"

#include <QHash>
#include <QSize>
#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// What decides the size a picture is shown at: the display settings and the
// view. Handed to the worker as a copy; the worker never reads the settings.
struct TDisplayFit {
    int DispSize = 0;
    int Zoom = 0;
    int Proportional = 0;
    QSize View;     // the scroll box's outer size
    QSize Viewport; // what a stretch without proportions fills
    bool operator==(const TDisplayFit&) const = default;
};

// The size a picture of the given natural size is shown at with the fit.
QSize DisplaySize(const TDisplayFit& fit, QSize natural);

// Decoded pictures are tens of megabytes each. Left to itself the C library
// hands blocks that large back to the system when they are freed, and the
// next picture faults fresh pages in again, which after a pause costs more
// than decoding it. The program keeps them: called once at start, before any
// picture is decoded.
void KeepPictureMemory();

class TPreloader;

// Started by the program's entry before the window is made, with the start
// argument (a folder, or a file in it) and the display settings as stored:
// the first picture of that folder is found and decoded while the window is
// made. The window takes this preloader over; a wrong guess is never shown.
void GuessStartPicture(const QString& argument, const TDisplayFit& fit);
// The fit of the guess as the stored settings give it (their defaults where
// nothing is stored); none while the window is stored maximized or minimized.
std::optional<TDisplayFit> StoredStartFit();
// The same with the stored fit, when there is one.
void GuessStartPicture(const QString& argument);
// The preloader started by GuessStartPicture, or a new one.
std::unique_ptr<TPreloader> TakeStartPreloader();

// Decodes the pictures the user is likely to ask for next on a worker thread,
// at the size they will be shown, and hands them over when they are asked
// for. At most two are kept. A picture is handed over only when it was
// decoded with the same fit from the file as it is now (same file, size and
// time): anything else is decoded again by the caller, which also reports
// any failure then; a preload's own failure is never reported.
class TPreloader {
public:
    TPreloader();
    ~TPreloader();
    TPreloader(const TPreloader&) = delete;
    TPreloader& operator=(const TPreloader&) = delete;

    static constexpr int MaxKept = 2;

    // The pictures wanted next, most wanted first (at most MaxKept are
    // taken). Kept pictures that are not wanted any more, or were decoded
    // with another fit, are thrown away.
    void Want(const QStringList& paths, const TDisplayFit& fit);
    // The picture of the file, decoded with the fit, when one is ready or
    // being decoded (then this waits for it, unless it is shown at its own
    // size and far from done: showing its first view is quicker); nullptr
    // when there is none, it failed, or the file changed since. It is no
    // longer kept either way.
    std::unique_ptr<TGraphic> Take(const QString& path, const TDisplayFit& fit);
    // Throws everything away (a new folder, a new scan of it), except a
    // guess of the first picture that nothing has asked for yet.
    void Clear();
    // Lists the folder for its first picture by name among the extensions
    // given, and decodes it (at its own size, the first view first, and the
    // rest in the background). It is handed over to the first Take of its
    // path whose fit it covers (decoded as large or larger); the first Take
    // of any path ends the guess.
    void Guess(const QString& folder, const QHash<QString, TGraphicClass>& classes,
               const TDisplayFit& fit);
    // Switched off, nothing is decoded ahead (for measuring).
    void SetEnabled(bool enabled);

    // For tests and benchmarks: whether the picture of the path has been
    // decoded (successfully or not), and how many pictures were handed over.
    bool Finished(const QString& path) const;
    int Handed() const;

private:
    struct TFileStamp {
        quint64 Device = 0, Inode = 0;
        qint64 Size = -1, ModifiedNs = 0;
        bool operator==(const TFileStamp&) const = default;
    };
    static TFileStamp StampOf(const QString& path);

    enum class TState { Queued, Running, Done };
    struct TEntry {
        QString Path;
        TGraphicClass Class = nullptr;
        TDisplayFit Fit;
        TState State = TState::Queued;
        bool Dropped = false; // not wanted any more; freed when it ends
        bool Guessed = false; // the start guess: Path is still to be found in Folder
        QString Folder;       // not empty for the start guess
        QHash<QString, TGraphicClass> Classes;
        QRect FirstView;                   // of the start guess: the most a view can show first
        std::unique_ptr<TGraphic> Graphic; // null after a failure
        TFileStamp Stamp;
        std::atomic<bool> Cancelled{false}; // the running decode stops
        std::atomic<int> Percent{0};        // of the running decode
    };
    void Run();
    void Drop(std::unique_lock<std::mutex>& lock, std::shared_ptr<TEntry> entry);

    mutable std::mutex Lock;
    std::condition_variable Changed;
    std::deque<std::shared_ptr<TEntry>> Entries;
    bool Stopping = false;
    bool Enabled = true;
    int HandedCount = 0;
    std::thread Worker;
};
