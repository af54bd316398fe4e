#include "spi/SPIModule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>
#include <link.h>

TModuleHandle& TModuleHandle::operator=(TModuleHandle&& other) noexcept {
    if (this != &other) {
        Reset();
        Handle = other.Handle;
        other.Handle = nullptr;
    }
    return *this;
}

TModuleHandle TModuleHandle::Load(const QString& fileName) {
    TModuleHandle result;
    if (fileName.isEmpty())
        return result;
    // A bare name would send the loader through the system's library path;
    // a plug-in named without a folder lives in the working folder.
    QString path = fileName;
    if (!path.contains(QLatin1Char('/')))
        path = QStringLiteral("./") + path;
    result.Handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!result.Handle)
        dlerror(); // clear the pending error text
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
    const QString name = QFile::decodeName(map->l_name);
    if (QFileInfo(name).isAbsolute())
        return QDir::cleanPath(name);
    return QDir::cleanPath(QDir::current().absoluteFilePath(name));
}
