#include "app/ThumbnailList.h"

#include "toolkit/Thumbnails.h"

#include <QListWidget>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {
constexpr int Box = 96; // the thumbnail's square in a row
constexpr int Gap = 4;

class TThumbDelegate : public QStyledItemDelegate {
public:
    TThumbDelegate(TThumbnailList* thumbs, QObject* parent)
        : QStyledItemDelegate(parent), Thumbs(thumbs) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(Box + 2 * Gap + option.fontMetrics.averageCharWidth() * 24, Box + 2 * Gap);
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        QStyle* style = opt.widget ? opt.widget->style() : nullptr;
        if (style)
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        const QRect box(opt.rect.left() + Gap, opt.rect.top() + Gap, Box, Box);
        if (const QImage* image = Thumbs->Find(index.row()); image && !image->isNull()) {
            const QSize size = image->size().scaled(box.size(), Qt::KeepAspectRatio);
            const QRect at(box.left() + (Box - size.width()) / 2,
                           box.top() + (Box - size.height()) / 2, size.width(), size.height());
            painter->setRenderHint(QPainter::SmoothPixmapTransform);
            painter->drawImage(at, *image);
        } else {
            painter->setPen(opt.palette.color(QPalette::Mid));
            painter->drawRect(box.adjusted(0, 0, -1, -1));
        }
        const bool selected = opt.state & QStyle::State_Selected;
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect textRect = opt.rect.adjusted(Box + 2 * Gap, 0, -Gap, 0);
        painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                          opt.fontMetrics.elidedText(text, Qt::ElideMiddle, textRect.width()));
    }

private:
    TThumbnailList* Thumbs;
};
} // namespace

TThumbnailList::TThumbnailList(QListWidget* list, std::function<QString(int)> pathOf)
    : QObject(list), List(list), PathOf(std::move(pathOf)) {
    ThumbDelegate = new TThumbDelegate(this, this);
    Worker = std::thread([this] { Work(); });
}

TThumbnailList::~TThumbnailList() {
    {
        std::lock_guard<std::mutex> hold(Lock);
        Ending = true;
        Queue.clear();
    }
    Wake.notify_all();
    Worker.join();
}

void TThumbnailList::SetShown(bool shown) {
    if (shown == IsShown)
        return;
    IsShown = shown;
    if (shown) {
        NameDelegate = List->itemDelegate();
        List->setItemDelegate(ThumbDelegate);
    } else {
        List->setItemDelegate(NameDelegate);
        Clear();
    }
    List->doItemsLayout();
    List->viewport()->update();
}

void TThumbnailList::Clear() {
    Images.clear();
    FirstWanted = LastWanted = -1;
    std::lock_guard<std::mutex> hold(Lock);
    Queue.clear();
    ++Generation;
}

int TThumbnailList::Pending() const {
    std::lock_guard<std::mutex> hold(Lock);
    return int(Queue.size()) + (Busy ? 1 : 0);
}

const QImage* TThumbnailList::Find(int row) {
    // The rows painted now are the ones on screen.
    FirstWanted = FirstWanted < 0 ? row : std::min(FirstWanted, row);
    LastWanted = std::max(LastWanted, row);
    if (!Scheduled) {
        Scheduled = true;
        QTimer::singleShot(0, this, [this] { Schedule(); });
    }
    const auto at = Images.find(PathOf(row));
    if (at == Images.end())
        return nullptr;
    at->Used = ++Clock;
    return &at->Image;
}

void TThumbnailList::Schedule() {
    Scheduled = false;
    if (FirstWanted < 0)
        return;
    // The rows on screen, then the screenful below them.
    const int last = std::min(List->count() - 1, LastWanted + (LastWanted - FirstWanted + 1));
    QStringList wanted;
    for (int row = FirstWanted; row <= last; ++row) {
        const QString path = PathOf(row);
        if (!Images.contains(path))
            wanted << path;
    }
    FirstWanted = LastWanted = -1;
    {
        std::lock_guard<std::mutex> hold(Lock);
        Queue.assign(wanted.begin(), wanted.end());
    }
    Wake.notify_all();
}

void TThumbnailList::Work() {
    std::unique_lock<std::mutex> hold(Lock);
    for (;;) {
        Wake.wait(hold, [this] { return Ending || !Queue.empty(); });
        if (Ending)
            return;
        const QString path = Queue.front();
        Queue.pop_front();
        const int generation = Generation;
        Busy = true;
        hold.unlock();
        const QImage image = ThumbnailFor(path);
        QMetaObject::invokeMethod(
            this, [this, generation, path, image] { Deliver(generation, path, image); },
            Qt::QueuedConnection);
        hold.lock();
        Busy = false;
    }
}

void TThumbnailList::Deliver(int generation, const QString& path, const QImage& image) {
    {
        std::lock_guard<std::mutex> hold(Lock);
        if (generation != Generation)
            return;
    }
    if (Images.size() >= Kept) {
        // The one looked at longest ago goes.
        auto oldest =
            std::min_element(Images.begin(), Images.end(),
                             [](const TEntry& a, const TEntry& b) { return a.Used < b.Used; });
        Images.erase(oldest);
    }
    Images.insert(path, {image, ++Clock});
    if (IsShown)
        List->viewport()->update();
}
