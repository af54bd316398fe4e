#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QStringList>
#include <QStyledItemDelegate>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class QListWidget;

// The file list as thumbnails with their names. Thumbnails are made on a
// thread of their own, only for the rows on screen and the screenful after
// them, newest wishes first; the window keeps a bounded number of them.
class TThumbnailList : public QObject {
public:
    TThumbnailList(QListWidget* list, std::function<QString(int row)> pathOf);
    ~TThumbnailList() override;

    void SetShown(bool shown);
    bool Shown() const { return IsShown; }
    // A new list: what was made for the old one goes.
    void Clear();
    // The thumbnail of the row's file, if made; asks for it otherwise.
    const QImage* Find(int row);
    // How many thumbnails the window holds at most.
    static constexpr int Kept = 400;
    int Held() const { return int(Images.size()); }
    int Pending() const;

private:
    void Schedule();
    void Work();
    void Deliver(int generation, const QString& path, const QImage& image);

    QListWidget* List;
    std::function<QString(int)> PathOf;
    QAbstractItemDelegate* NameDelegate = nullptr;
    QAbstractItemDelegate* ThumbDelegate = nullptr;
    bool IsShown = false;
    struct TEntry {
        QImage Image;
        quint64 Used = 0;
    };
    QHash<QString, TEntry> Images;
    quint64 Clock = 0;
    int FirstWanted = -1, LastWanted = -1;
    bool Scheduled = false;

    mutable std::mutex Lock;
    std::condition_variable Wake;
    std::deque<QString> Queue; // under Lock
    int Generation = 0;        // under Lock
    bool Busy = false;         // under Lock: a thumbnail is being made
    bool Ending = false;       // under Lock
    std::thread Worker;
};
