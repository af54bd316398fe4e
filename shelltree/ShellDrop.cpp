#include "shelltree/ShellDrop.h"

#include "platform/FileName.h"
#include "platform/MessageBox.h"
#include "platform/ShellNamespace.h"
#include "shelltree/ShellDropWork.h"
#include "toolkit/Busy.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

const char* const kUriListType = "text/uri-list";
const char* const kShellIDListType = "application/x-velmo-shell-idlist";

namespace {
QByteArray RealPath(const QString& path) {
    char* real = ::realpath(PathToBytes(path).constData(), nullptr);
    const QByteArray bytes = real ? QByteArray(real) : QByteArray();
    ::free(real);
    return bytes;
}

QString ParentOf(const QString& path) {
    QString cut = path;
    while (cut.size() > 1 && cut.endsWith(QLatin1Char('/')))
        cut.chop(1);
    const qsizetype slash = cut.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : cut.left(slash);
}

bool Inside(const QByteArray& path, const QByteArray& folder) {
    return path == folder || folder == "/" || path.startsWith(folder + '/');
}

// How many items a drag's answers rest on while it moves.
constexpr qsizetype kFirstItems = 32;
} // namespace

std::vector<TDragSource> DragSources(const QStringList& paths) {
    struct TFolder {
        QByteArray Real;
        std::pair<dev_t, ino_t> Id{0, 0};
        bool Writable = false;
    };
    std::map<QString, TFolder> folders; // mostly one
    std::vector<TDragSource> sources;
    sources.reserve(size_t(paths.size()));
    for (const QString& path : paths) {
        TDragSource& source = sources.emplace_back();
        source.Path = path;
        // "a/." and "a/.." name no item of their own: its name would put it
        // into the target itself or above it.
        const QString name = path.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
        struct stat st;
        if (name == QLatin1String(".") || name == QLatin1String("..") ||
            ::lstat(PathToBytes(path).constData(), &st) != 0)
            continue;
        source.Exists = true;
        source.IsDir = S_ISDIR(st.st_mode);
        source.Device = st.st_dev;
        source.Inode = st.st_ino;
        const QString parent = ParentOf(path);
        auto folder = folders.find(parent);
        if (folder == folders.end()) {
            TFolder facts;
            const QByteArray bytes = PathToBytes(parent);
            if (struct stat up; ::stat(bytes.constData(), &up) == 0)
                facts.Id = {up.st_dev, up.st_ino};
            facts.Real = RealPath(parent);
            // A folder that cannot be written (a read-only medium) gives
            // nothing away.
            facts.Writable = ::access(bytes.constData(), W_OK) == 0;
            folder = folders.emplace(parent, facts).first;
        }
        source.Parent = folder->second.Id;
        source.ParentReal = folder->second.Real;
        source.Movable = folder->second.Writable;
        // A file is where its folder is; a folder or a link may lead elsewhere.
        if (source.IsDir || S_ISLNK(st.st_mode))
            source.Real = RealPath(path);
        else if (!source.ParentReal.isEmpty())
            source.Real = (source.ParentReal == "/" ? QByteArray() : source.ParentReal) + '/' +
                          PathToBytes(name);
    }
    return sources;
}

// ---- Formats --------------------------------------------------------------

QByteArray IDListArray(const QList<ItemIDList>& lists) {
    QByteArray data;
    for (const ItemIDList& list : lists)
        data += list;
    return data;
}

QList<ItemIDList> ParseIDListArray(const QByteArray& data) {
    QList<ItemIDList> lists;
    qsizetype offset = 0;
    while (offset < data.size()) {
        qsizetype end = offset;
        while (true) {
            const quint16 length = IDLength(data, end);
            if (end + 2 > data.size())
                return {};
            if (length == 0)
                break;
            if (length < 3 || end + length > data.size())
                return {};
            end += length;
        }
        lists.append(data.mid(offset, end + 2 - offset));
        offset = end + 2;
    }
    return lists;
}

QByteArray UriList(const QStringList& paths) {
    QByteArray list;
    for (const QString& path : paths)
        list += "file://" + PathToBytes(path).toPercentEncoding("/") + "\r\n";
    return list;
}

QStringList ParseUriList(const QByteArray& data, bool* allLocal) {
    QStringList paths;
    bool local = true;
    for (QByteArray line : data.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QByteArray rest;
        if (line.startsWith("file:///"))
            rest = line.mid(7);
        else if (line.startsWith("file://localhost/"))
            rest = line.mid(16);
        else if (line.startsWith("file:/") && !line.startsWith("file://"))
            rest = line.mid(5);
        const QByteArray bytes = QByteArray::fromPercentEncoding(rest);
        if (bytes.isEmpty() || bytes.contains('\0')) {
            local = false;
            continue;
        }
        paths << PathFromBytes(bytes);
    }
    if (allLocal)
        *allLocal = local;
    return paths;
}

QMimeData* MakeShellDragData(const QString& path, const ItemIDList& absolute) {
    if (path.isEmpty())
        return nullptr;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kUriListType), UriList({path}));
    if (!absolute.isNull())
        data->setData(QString::fromLatin1(kShellIDListType), IDListArray({absolute}));
    return data;
}

bool OffersShellData(const QMimeData* data) {
    return data && (data->hasFormat(QString::fromLatin1(kShellIDListType)) ||
                    data->hasFormat(QString::fromLatin1(kUriListType)));
}

// ---- Effects --------------------------------------------------------------

Qt::DropAction ChooseDropEffect(Qt::DropActions allowed, Qt::KeyboardModifiers modifiers,
                                bool sameFilesystem) {
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    auto only = [&](Qt::DropAction effect) { return allowed & effect ? effect : Qt::IgnoreAction; };
    if (ctrl && shift)
        return only(Qt::LinkAction);
    if (ctrl)
        return only(Qt::CopyAction);
    if (shift)
        return only(Qt::MoveAction);
    const Qt::DropAction first = sameFilesystem ? Qt::MoveAction : Qt::CopyAction;
    const Qt::DropAction second = sameFilesystem ? Qt::CopyAction : Qt::MoveAction;
    for (Qt::DropAction effect : {first, second, Qt::LinkAction})
        if (allowed & effect)
            return effect;
    return Qt::IgnoreAction;
}

// ---- The drag object ------------------------------------------------------

TShellDragObject::TShellDragObject(const QMimeData* data) : Data(data) {
    if (!data)
        throw EInvalidOperation(QStringLiteral("パラメータが不正です。"));
    const QString idType = QString::fromLatin1(kShellIDListType);
    if (data->hasFormat(idType)) {
        IDList = ParseIDListArray(data->data(idType));
        for (const ItemIDList& list : IDList)
            TextList << IDListToPath(list);
        // A NUL inside a name would cut the path short at the system.
        Complete = !IDList.isEmpty() && !TextList.contains(QString()) &&
                   std::none_of(TextList.cbegin(), TextList.cend(),
                                [](const QString& path) { return path.contains(QChar(0)); });
    } else {
        TextList = ParseUriList(data->data(QString::fromLatin1(kUriListType)), &Complete);
    }
    if (Complete)
        FFirst = DragSources(TextList.mid(0, kFirstItems));
}

// ---- A folder's drop handler ----------------------------------------------

TShellDropTarget::TShellDropTarget(QWidget* owner, QString folder, bool trash, TDropMenu menu,
                                   TDone done)
    : Owner(owner), Folder(std::move(folder)), Trash(trash), Menu(std::move(menu)),
      Done(std::move(done)) {
    struct stat st;
    if (!Trash && ::stat(PathToBytes(Folder).constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
        FolderExists = true;
        FolderDevice = st.st_dev;
        FolderReal = RealPath(Folder);
        // Bind mounts show one folder at two paths: the folders above the
        // target are told apart by what they are, not by their paths.
        for (QByteArray up = FolderReal; !up.isEmpty();
             up = up == "/" ? QByteArray() : PathToBytes(ParentOf(PathFromBytes(up))))
            if (::stat(up.constData(), &st) == 0)
                FolderChain.emplace_back(st.st_dev, st.st_ino);
    }
}

Qt::DropActions TShellDropTarget::Allowed(Qt::DropActions offered) const {
    if (Sources.empty() || (!Trash && !FolderExists))
        return Qt::IgnoreAction;
    for (const TDragSource& source : Sources) {
        if (!source.Exists || source.Real.isEmpty())
            return Qt::IgnoreAction;
        if (!source.Movable)
            offered &= ~Qt::DropActions(Qt::MoveAction);
        if (Trash)
            continue;
        // Nothing to do in its own folder; never into itself.
        if (source.ParentReal == FolderReal || (source.IsDir && Inside(FolderReal, source.Real)))
            return Qt::IgnoreAction;
        const auto chain = FolderChain.begin();
        if ((chain != FolderChain.end() && *chain == source.Parent) ||
            (source.IsDir &&
             std::find(chain, FolderChain.end(), std::pair(source.Device, source.Inode)) !=
                 FolderChain.end()))
            return Qt::IgnoreAction;
    }
    return Trash ? offered & Qt::MoveAction : offered;
}

Qt::DropAction TShellDropTarget::Decide(Qt::DropActions offered,
                                        Qt::KeyboardModifiers modifiers) const {
    const Qt::DropActions allowed = Allowed(offered);
    if (Trash)
        return allowed & Qt::MoveAction ? Qt::MoveAction : Qt::IgnoreAction;
    bool same = true;
    for (const TDragSource& source : Sources)
        same = same && source.Device == FolderDevice;
    return ChooseDropEffect(allowed, modifiers, same);
}

bool TShellDropTarget::DragEnter(const TShellDragObject& drag, TDragKeys keys, QPoint,
                                 Qt::DropActions& effect) {
    Sources = drag.HasItems() ? drag.FirstSources() : std::vector<TDragSource>();
    RightDrag = keys.Buttons & Qt::RightButton;
    effect = Decide(effect, keys.Modifiers);
    return true;
}

bool TShellDropTarget::DragOver(TDragKeys keys, QPoint, Qt::DropActions& effect) {
    RightDrag = keys.Buttons & Qt::RightButton;
    effect = Decide(effect, keys.Modifiers);
    return true;
}

void TShellDropTarget::DragLeave() {
    Sources.clear();
}

bool TShellDropTarget::Drop(const TShellDragObject& drag, TDragKeys keys, QPoint,
                            Qt::DropActions& effect) {
    Sources = drag.HasItems() ? drag.FirstSources() : std::vector<TDragSource>();
    const Qt::DropActions offered = effect;
    const Qt::DropAction chosen = Decide(offered, keys.Modifiers);
    // The work is not done yet, and its items are checked only now: the
    // source hears of no more than a copy, and keeps what it has.
    effect = chosen == Qt::IgnoreAction || chosen == Qt::LinkAction ? chosen : Qt::CopyAction;
    if (chosen == Qt::IgnoreAction)
        return true;
    // The drag source is still waiting for the answer: the checks of every
    // item, the menu, the questions and the work come once it has it.
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [self = shared_from_this(), offered, modifiers = keys.Modifiers,
                        ask = RightDrag,
                        paths = drag.TextList] { self->Perform(offered, modifiers, ask, paths); });
    return true;
}

void TShellDropTarget::Perform(Qt::DropActions offered, Qt::KeyboardModifiers modifiers, bool ask,
                               const QStringList& paths) {
    // Runs from the event loop: nothing may escape.
    Guarded([&] {
        {
            const TBusyCursor busy;
            Sources = DragSources(paths);
        }
        const Qt::DropActions allowed = Allowed(offered);
        Qt::DropAction effect = Decide(offered, modifiers);
        if (ask && effect != Qt::IgnoreAction)
            effect = Menu ? Menu(allowed, effect) : ShowDropMenu(allowed, effect);
        if (effect != Qt::IgnoreAction && (effect & allowed))
            RunDropWork(Owner, effect, Sources, Folder, Trash);
    });
    Sources.clear();
    if (Done)
        Done();
}

Qt::DropAction TShellDropTarget::ShowDropMenu(Qt::DropActions allowed, Qt::DropAction preferred) {
    QMenu menu;
    menu.setObjectName(QStringLiteral("DropMenu"));
    const std::pair<Qt::DropAction, QString> items[] = {
        {Qt::CopyAction, QStringLiteral("ここにコピー(&C)")},
        {Qt::MoveAction, QStringLiteral("ここに移動(&M)")},
        {Qt::LinkAction, QStringLiteral("ここにリンクを作成(&L)")}};
    for (const auto& [effect, text] : items) {
        QAction* action = menu.addAction(text);
        action->setData(int(effect));
        action->setEnabled(allowed & effect);
        if (effect == preferred)
            menu.setDefaultAction(action);
    }
    menu.addSeparator();
    menu.addAction(QStringLiteral("キャンセル"))->setData(int(Qt::IgnoreAction));
    const QAction* chosen = menu.exec(QCursor::pos(), menu.defaultAction());
    return chosen ? Qt::DropAction(chosen->data().toInt()) : Qt::IgnoreAction;
}
