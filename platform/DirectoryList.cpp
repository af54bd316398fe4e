#include "platform/DirectoryList.h"
#include "platform/FileName.h"
#include "platform/FileNameRules.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace {
struct TDirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
} // namespace

bool ForEachDirectoryEntry(
    const QString& folder,
    const std::function<bool(const QString& name, bool isDirectory)>& onEntry) {
    std::unique_ptr<DIR, TDirCloser> dir(opendir(PathToBytes(folder).constData()));
    if (!dir)
        return false;
    const int fd = dirfd(dir.get());
    while (const dirent* entry = readdir(dir.get())) {
        const char* name = entry->d_name;
        if (IsDotOrDotDot(name))
            continue;
        bool isDirectory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st;
            isDirectory = fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (!onEntry(PathFromBytes(name), isDirectory))
            break;
    }
    return true;
}
