#include "spi/SPIModule.h"
#include "platform/FileName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QScopeGuard>

#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The ELF header of the module this code is linked into (set by the linker).
extern "C" const ElfW(Ehdr) __ehdr_start;

TModuleHandle& TModuleHandle::operator=(TModuleHandle&& other) noexcept {
    if (this != &other) {
        Reset();
        Handle = other.Handle;
        other.Handle = nullptr;
    }
    return *this;
}

namespace {
// Whether a file's ELF headers fit the program and the file itself: a
// library cut short (a half-copied download) has loadable segments that
// reach past its end, and the loader would die touching them (SIGBUS) with
// no way to recover. Only the headers are read.
bool ElfFitsFile(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    const auto closer = qScopeGuard([fd] { ::close(fd); });
    struct stat st;
    ElfW(Ehdr) header;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::pread(fd, &header, sizeof header, 0) != ssize_t(sizeof header))
        return false;
    const ElfW(Ehdr)& own = __ehdr_start;
    const auto size = quint64(st.st_size);
    if (std::memcmp(header.e_ident, own.e_ident, EI_VERSION) != 0 || header.e_type != ET_DYN ||
        header.e_machine != own.e_machine || header.e_phentsize != sizeof(ElfW(Phdr)) ||
        header.e_phnum == 0 || header.e_phoff > size ||
        (size - header.e_phoff) / sizeof(ElfW(Phdr)) < header.e_phnum)
        return false;
    std::vector<ElfW(Phdr)> programs(header.e_phnum);
    const auto bytes = ssize_t(programs.size() * sizeof(ElfW(Phdr)));
    if (::pread(fd, programs.data(), size_t(bytes), off_t(header.e_phoff)) != bytes)
        return false;
    for (const ElfW(Phdr) & program : programs) {
        if ((program.p_type == PT_LOAD || program.p_type == PT_DYNAMIC) &&
            (program.p_offset > size || program.p_filesz > size - program.p_offset))
            return false;
    }
    return true;
}
} // namespace

TModuleHandle TModuleHandle::Load(const QString& fileName, QString* error) {
    TModuleHandle result;
    if (fileName.isEmpty())
        return result;
    // A bare name would send the loader through the system's library path;
    // a plug-in named without a folder lives in the working folder.
    QString path = fileName;
    if (!path.contains(QLatin1Char('/')))
        path = QStringLiteral("./") + path;
    const QByteArray native = PathToBytes(path);
    if (!ElfFitsFile(native))
        return result;
    result.Handle = dlopen(native.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!result.Handle) {
        const char* reason = dlerror(); // read, which also clears it
        if (error && reason)
            *error = QString::fromLocal8Bit(reason);
    }
    return result;
}

void TModuleHandle::Reset() {
    if (Handle) {
        dlclose(Handle);
        Handle = nullptr;
    }
}

void* TModuleHandle::Symbol(const char* name) const {
    if (!Handle)
        return nullptr;
    void* address = dlsym(Handle, name);
    if (!address)
        dlerror();
    return address;
}

QString TModuleHandle::FileName() const {
    if (!Handle)
        return QString();
    link_map* map = nullptr;
    if (dlinfo(Handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name || !*map->l_name)
        return QString();
    const QString name = PathFromBytes(map->l_name);
    if (QFileInfo(name).isAbsolute())
        return QDir::cleanPath(name);
    return QDir::cleanPath(QDir::current().absoluteFilePath(name));
}
