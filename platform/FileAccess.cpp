#include "platform/FileAccess.h"

#include "platform/FileName.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFileFacts FileFacts(const QString& path) {
    TFileFacts facts;
    struct stat st;
    if (path.isEmpty() || ::stat(PathToBytes(path).constData(), &st) != 0)
        return facts;
    facts.Exists = true;
    facts.IsDir = S_ISDIR(st.st_mode);
    facts.IsFile = S_ISREG(st.st_mode);
    facts.Size = qint64(st.st_size);
    facts.Modified = QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 +
                                                    st.st_mtim.tv_nsec / 1000000);
    return facts;
}

int OpenForReading(QFile& file, const QString& path) {
    const int fd = ::open(PathToBytes(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return EIO;
    }
    return 0;
}

bool WriteAll(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}
