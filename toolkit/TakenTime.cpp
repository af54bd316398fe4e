#include "toolkit/TakenTime.h"

#include "platform/FileName.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An open file read at offsets; closed when it goes.
class TFileReader {
public:
    explicit TFileReader(const QString& path)
        : Fd(::open(PathToBytes(path).constData(), O_RDONLY | O_CLOEXEC)) {}
    ~TFileReader() {
        if (Fd >= 0)
            ::close(Fd);
    }
    TFileReader(const TFileReader&) = delete;
    TFileReader& operator=(const TFileReader&) = delete;
    bool IsOpen() const { return Fd >= 0; }
    qint64 Size() const {
        struct stat st {};
        return ::fstat(Fd, &st) == 0 ? qint64(st.st_size) : 0;
    }
    QByteArray Read(qint64 offset, qint64 size) const {
        if (offset < 0 || size <= 0 || size > (64 << 20))
            return {};
        QByteArray data(size, Qt::Uninitialized);
        const ssize_t n = ::pread(Fd, data.data(), size_t(size), off_t(offset));
        data.resize(n > 0 ? qsizetype(n) : 0);
        return data;
    }

private:
    int Fd;
};

quint32 Big(const QByteArray& d, qint64 at, int size) {
    quint32 v = 0;
    for (int i = 0; i < size; ++i)
        v = (v << 8) | quint8(d[qsizetype(at + i)]);
    return v;
}

// A TIFF block's numbers in its own byte order.
struct TTiff {
    const QByteArray& Data;
    bool Little;
    bool Has(qint64 at, qint64 size) const { return at >= 0 && at + size <= Data.size(); }
    quint32 Num(qint64 at, int size) const {
        if (!Has(at, size))
            return 0;
        quint32 v = 0;
        for (int i = 0; i < size; ++i) {
            const quint32 b = quint8(Data[qsizetype(at + i)]);
            v |= Little ? b << (8 * i) : 0;
            v = Little ? v : (v << 8) | b;
        }
        return v;
    }
    // The value of an ASCII or LONG tag of the directory at dir.
    QByteArray Text(quint32 dir, quint16 tag) const {
        const quint32 count = Num(dir, 2);
        for (quint32 i = 0; i < count && Has(dir + 2 + 12 * i, 12); ++i) {
            const qint64 e = dir + 2 + 12 * qint64(i);
            if (Num(e, 2) != tag)
                continue;
            const quint32 n = Num(e + 4, 4);
            const qint64 at = n <= 4 ? e + 8 : Num(e + 8, 4);
            if (n > 256 || !Has(at, n))
                return {};
            const QByteArray text = Data.mid(qsizetype(at), qsizetype(n));
            return text.left(text.indexOf('\0') < 0 ? text.size() : text.indexOf('\0')).trimmed();
        }
        return {};
    }
    std::optional<quint32> Pointer(quint32 dir, quint16 tag) const {
        const quint32 count = Num(dir, 2);
        for (quint32 i = 0; i < count && Has(dir + 2 + 12 * i, 12); ++i) {
            const qint64 e = dir + 2 + 12 * qint64(i);
            if (Num(e, 2) == tag)
                return Num(e + 8, 4);
        }
        return std::nullopt;
    }
};

// The Exif block of a JPEG file: the APP1 segment that starts "Exif\0\0",
// looked for among the segments before the picture data.
QByteArray JpegExif(const TFileReader& file) {
    qint64 at = 2;
    for (int segments = 0; segments < 64; ++segments) {
        const QByteArray head = file.Read(at, 4);
        if (head.size() < 4 || quint8(head[0]) != 0xFF)
            return {};
        const quint8 marker = quint8(head[1]);
        if (marker == 0xDA || marker == 0xD9)
            return {};
        const qint64 length = Big(head, 2, 2);
        if (marker == 0xE1 && length > 8) {
            const QByteArray body = file.Read(at + 4, length - 2);
            if (body.startsWith(QByteArray("Exif\0\0", 6)))
                return body.mid(6);
        }
        at += 2 + length;
    }
    return {};
}

// The boxes of an ISO media file (HEIF pictures, clips).
struct TBox {
    QByteArray Type;
    qint64 Body = 0; // where its contents start
    qint64 End = 0;
};
std::optional<TBox> BoxAt(const TFileReader& file, qint64 at, qint64 end) {
    const QByteArray h = file.Read(at, 16);
    if (h.size() < 8 || at + 8 > end)
        return std::nullopt;
    qint64 size = Big(h, 0, 4);
    qint64 body = at + 8;
    if (size == 1 && h.size() == 16) {
        size = (qint64(Big(h, 8, 4)) << 32) | Big(h, 12, 4);
        body = at + 16;
    } else if (size == 0) {
        size = end - at;
    }
    if (size < body - at || at + size > end)
        return std::nullopt;
    return TBox{h.mid(4, 4), body, at + size};
}
std::optional<TBox> FindBox(const TFileReader& file, qint64 from, qint64 end, const char* type) {
    for (int n = 0; n < 4096; ++n) {
        const std::optional<TBox> box = BoxAt(file, from, end);
        if (!box)
            return std::nullopt;
        if (box->Type == type)
            return box;
        from = box->End;
    }
    return std::nullopt;
}

// A HEIF file's Exif item: found by its type in the item list, read where the
// item locations put it.
QByteArray HeifExif(const TFileReader& file, qint64 fileSize) {
    const auto meta = FindBox(file, 0, fileSize, "meta");
    if (!meta)
        return {};
    const qint64 body = meta->Body + 4;
    const auto iinf = FindBox(file, body, meta->End, "iinf");
    const auto iloc = FindBox(file, body, meta->End, "iloc");
    if (!iinf || !iloc || iinf->End - iinf->Body > (1 << 20) || iloc->End - iloc->Body > (1 << 20))
        return {};
    const QByteArray inf = file.Read(iinf->Body, iinf->End - iinf->Body);
    qint64 exifId = -1;
    const qint64 entries = inf.size() > 0 && inf[0] == 0 ? 6 : 8;
    for (qint64 at = entries; at + 8 <= inf.size() && exifId < 0;) {
        const qint64 size = Big(inf, at, 4);
        if (size < 8 || at + size > inf.size())
            break;
        if (inf.mid(qsizetype(at + 4), 4) == "infe") {
            const int version = quint8(inf[qsizetype(at + 8)]);
            const int idSize = version >= 3 ? 4 : 2;
            const qint64 type = at + 12 + idSize + 2;
            if (version >= 2 && type + 4 <= at + size && inf.mid(qsizetype(type), 4) == "Exif")
                exifId = Big(inf, at + 12, idSize);
        }
        at += size;
    }
    if (exifId < 0)
        return {};
    const QByteArray loc = file.Read(iloc->Body, iloc->End - iloc->Body);
    if (loc.size() < 8)
        return {};
    const int version = quint8(loc[0]);
    const int offsetSize = quint8(loc[4]) >> 4, lengthSize = quint8(loc[4]) & 15;
    const int baseSize = quint8(loc[5]) >> 4;
    const int indexSize = version >= 1 ? quint8(loc[5]) & 15 : 0;
    const int idSize = version >= 2 ? 4 : 2;
    const qint64 count = Big(loc, 6, idSize);
    qint64 at = 6 + idSize;
    const auto take = [&](int size) -> qint64 {
        if (size == 0 || at + size > loc.size())
            return at += size, 0;
        const qint64 v =
            size == 8 ? (qint64(Big(loc, at, 4)) << 32) | Big(loc, at + 4, 4) : Big(loc, at, size);
        at += size;
        return v;
    };
    for (qint64 i = 0; i < count && at < loc.size(); ++i) {
        const qint64 id = take(idSize);
        if (version >= 1)
            take(2);
        take(2);
        const qint64 base = take(baseSize);
        const qint64 extents = take(2);
        qint64 offset = 0, length = 0;
        for (qint64 e = 0; e < extents; ++e) {
            take(indexSize);
            const qint64 o = take(offsetSize), l = take(lengthSize);
            if (e == 0)
                offset = o, length = l;
        }
        if (id != exifId)
            continue;
        const QByteArray item = file.Read(base + offset, std::min<qint64>(length, 1 << 20));
        if (item.size() < 4)
            return {};
        return item.mid(qsizetype(4 + Big(item, 0, 4)));
    }
    return {};
}

// A clip's creation time: the movie header's, in seconds since 1904 (UTC).
std::optional<qint64> ClipCreated(const TFileReader& file, qint64 fileSize) {
    const auto moov = FindBox(file, 0, fileSize, "moov");
    const auto mvhd = moov ? FindBox(file, moov->Body, moov->End, "mvhd") : std::nullopt;
    if (!mvhd)
        return std::nullopt;
    const QByteArray h = file.Read(mvhd->Body, 12);
    if (h.size() < 12)
        return std::nullopt;
    const qint64 seconds =
        h[0] == 1 ? (qint64(Big(h, 4, 4)) << 32) | Big(h, 8, 4) : qint64(Big(h, 4, 4));
    constexpr qint64 from1904 = 2082844800;
    if (seconds <= from1904) // unset, or before the epoch: no date to go by
        return std::nullopt;
    return (seconds - from1904) * 1000;
}

} // namespace

std::optional<qint64> ExifTimeMsecs(const QByteArray& dateTime, const QByteArray& subSec,
                                    const QByteArray& offset) {
    const QDateTime parsed =
        QDateTime::fromString(QString::fromLatin1(dateTime.left(19)), "yyyy:MM:dd HH:mm:ss");
    if (!parsed.isValid())
        return std::nullopt;
    QDateTime t(parsed.date(), parsed.time());
    const QByteArray off = offset.trimmed();
    if (off.size() == 6 && (off[0] == '+' || off[0] == '-') && off[3] == ':') {
        bool okH = false, okM = false;
        const int h = off.mid(1, 2).toInt(&okH), m = off.mid(4, 2).toInt(&okM);
        if (okH && okM && h <= 14 && m < 60)
            t = QDateTime(parsed.date(), parsed.time(),
                          QTimeZone((off[0] == '-' ? -1 : 1) * (h * 3600 + m * 60)));
    }
    qint64 ms = t.toMSecsSinceEpoch();
    // Sub-seconds are the digits after the decimal point.
    QByteArray digits = subSec.trimmed();
    digits.truncate(3);
    bool ok = false;
    const int fraction = (digits + QByteArray(3 - digits.size(), '0')).toInt(&ok);
    if (ok && !digits.isEmpty() && fraction >= 0)
        ms += fraction;
    return ms;
}

std::optional<qint64> TakenTimeFromTiff(const QByteArray& tiff) {
    if (tiff.size() < 8 || !(tiff.startsWith("II*\0") || tiff.startsWith(QByteArray("MM\0*", 4))))
        return std::nullopt;
    const TTiff t{tiff, tiff[0] == 'I'};
    const std::optional<quint32> exif = t.Pointer(t.Num(4, 4), 0x8769);
    if (!exif || !t.Has(*exif, 2))
        return std::nullopt;
    return ExifTimeMsecs(t.Text(*exif, 0x9003), t.Text(*exif, 0x9291), t.Text(*exif, 0x9011));
}

std::optional<qint64> ReadTakenTime(const QString& path) {
    const TFileReader file(path);
    if (!file.IsOpen())
        return std::nullopt;
    const QByteArray head = file.Read(0, 16);
    if (head.startsWith("\xFF\xD8"))
        return TakenTimeFromTiff(JpegExif(file));
    if (head.startsWith("II*\0") || head.startsWith(QByteArray("MM\0*", 4))) {
        // A raw file: its Exif directory lies near the start.
        return TakenTimeFromTiff(file.Read(0, 1 << 20));
    }
    if (head.mid(4, 4) == "ftyp") {
        const qint64 size = file.Size();
        const QByteArray brand = head.mid(8, 4);
        if (brand.startsWith("hei") || brand.startsWith("mif") || brand == "avif")
            return TakenTimeFromTiff(HeifExif(file, size));
        return ClipCreated(file, size);
    }
    return std::nullopt;
}

TTakenFacts ReadTakenFacts(const QString& path) {
    TTakenFacts facts;
    struct stat st {};
    if (::stat(PathToBytes(path).constData(), &st) == 0)
        facts.Modified = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    facts.Taken = ReadTakenTime(path);
    return facts;
}

std::vector<int> TakenOrder(const std::vector<TTakenFacts>& facts) {
    std::vector<int> order(facts.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const TTakenFacts& x = facts[size_t(a)];
        const TTakenFacts& y = facts[size_t(b)];
        const qint64 tx = x.Taken.value_or(x.Modified), ty = y.Taken.value_or(y.Modified);
        if (tx != ty)
            return tx < ty;
        return x.Modified < y.Modified;
    });
    return order;
}
