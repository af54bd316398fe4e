#include "platform/FileStamp.h"

#include "platform/FileName.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr size_t kChunk = 1 << 20;

// Contents identify a picture here; nobody forges them, so the fastest of
// the hashes at hand serves.
constexpr auto kHash = QCryptographicHash::Md5;

bool ReadChunk(int fd, std::vector<char>& buffer, ssize_t& got) {
    for (;;) {
        got = ::read(fd, buffer.data(), buffer.size());
        if (got >= 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

int OpenRegular(const QString& path, struct stat& st) {
    const int fd = ::open(PathToBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}
} // namespace

bool StampFile(const QString& path, bool withHash, TFileStamp& stamp) {
    struct stat st;
    const int fd = OpenRegular(path, st);
    if (fd < 0)
        return false;
    stamp.Size = st.st_size;
    stamp.Modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.Inode = st.st_ino;
    stamp.Hash.clear();
    bool ok = true;
    if (withHash) {
        QCryptographicHash hash(kHash);
        std::vector<char> buffer(kChunk);
        ssize_t got = 0;
        while ((ok = ReadChunk(fd, buffer, got)) && got > 0)
            hash.addData(QByteArrayView(buffer.data(), got));
        stamp.Hash = hash.result();
    }
    ::close(fd);
    return ok;
}

bool StampMatches(const QString& path, const TFileStamp& stamp) {
    TFileStamp now;
    struct stat st;
    if (stamp.Size < 0 || ::lstat(PathToBytes(path).constData(), &st) != 0 ||
        !S_ISREG(st.st_mode) || !StampFile(path, !stamp.Hash.isEmpty(), now))
        return false;
    if (!stamp.Inode)
        now.Inode = 0;
    return now == stamp;
}

bool SameBytes(const QString& a, const QString& b) {
    struct stat sa, sb;
    const int fa = OpenRegular(a, sa);
    if (fa < 0)
        return false;
    const int fb = OpenRegular(b, sb);
    if (fb < 0) {
        ::close(fa);
        return false;
    }
    bool same = sa.st_size == sb.st_size;
    if (same && !(sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino)) {
        std::vector<char> ba(kChunk), bb(kChunk);
        for (;;) {
            ssize_t ga = 0, gb = 0;
            if (!ReadChunk(fa, ba, ga) || !ReadChunk(fb, bb, gb) || ga != gb ||
                memcmp(ba.data(), bb.data(), size_t(ga)) != 0) {
                same = false;
                break;
            }
            if (ga == 0)
                break;
        }
    }
    ::close(fa);
    ::close(fb);
    return same;
}

bool SameFile(const QString& a, const QString& b) {
    struct stat sa, sb;
    return ::stat(PathToBytes(a).constData(), &sa) == 0 &&
           ::stat(PathToBytes(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool PathTaken(const QString& path) {
    struct stat st;
    return ::lstat(PathToBytes(path).constData(), &st) == 0;
}

QString NumberedName(const QString& name, int n) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString number = QStringLiteral(" (%1)").arg(n);
    return dot > 0 ? name.left(dot) + number + name.mid(dot) : name + number;
}

QString FreeNumberedPath(const QString& path) {
    const QFileInfo info(path);
    const QString folder = info.path();
    const QString name = info.fileName();
    for (int n = 2;; ++n) {
        const QString candidate = folder + QLatin1Char('/') + NumberedName(name, n);
        if (!PathTaken(candidate))
            return candidate;
    }
}
