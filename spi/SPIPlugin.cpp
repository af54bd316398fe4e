#include "spi/SPIPlugin.h"
#include "spi/SPIWine.h"

#include <QDir>
#include <cstring>
#include <mutex>

namespace {

// Plug-ins are not written to be entered from two threads at once: every call
// into any of them, whichever thread makes it, holds this lock. It is
// recursive, so a plug-in's progress callback may call a plug-in again.
std::recursive_mutex& PluginCallLock() {
    static std::recursive_mutex lock;
    return lock;
}

const int InfoBufferSize = 256;
const int InfoBufferLength = 255;

template <typename F> F Resolve(const TModuleHandle& module, const char* name) {
    return reinterpret_cast<F>(module.Symbol(name));
}

// The entry points of a plug-in run by a host stand as markers of what it
// exports; the call-throughs send the calls to the host and never call these.
template <class R, class... A> R HostedEntry(A...) {
    return R(SPI_NO_FUNCTION);
}
template <class R, class... A> auto Hosted(const TRemotePlugin& remote, int index, R (*)(A...)) {
    return remote.Has(index) ? &HostedEntry<R, A...> : nullptr;
}

} // namespace

// ---- Class identities --------------------------------------------------------

TSPIClass TSPI::StaticClass() {
    static const TSPIClassInfo info{"TSPI", nullptr, +[]() -> TSPI* { return new TSPI; }};
    return &info;
}

TSPIClass TLoaderSPI::StaticClass() {
    static const TSPIClassInfo info{"TLoaderSPI", TSPI::StaticClass(),
                                    +[]() -> TSPI* { return new TLoaderSPI; }};
    return &info;
}

TSPIClass TInSPI::StaticClass() {
    static const TSPIClassInfo info{"TInSPI", TLoaderSPI::StaticClass(),
                                    +[]() -> TSPI* { return new TInSPI; }};
    return &info;
}

TSPIClass TAmSPI::StaticClass() {
    static const TSPIClassInfo info{"TAmSPI", TLoaderSPI::StaticClass(),
                                    +[]() -> TSPI* { return new TAmSPI; }};
    return &info;
}

TSPIClass TXnSPI::StaticClass() {
    static const TSPIClassInfo info{"TXnSPI", TSPI::StaticClass(),
                                    +[]() -> TSPI* { return new TXnSPI; }};
    return &info;
}

bool TSPI::InheritsFrom(TSPIClass cls) const {
    for (TSPIClass c = ClassType(); c; c = c->Parent)
        if (c == cls)
            return true;
    return false;
}

// ---- Creation ----------------------------------------------------------------

std::unique_ptr<TSPI> TSPI::Create(TSPIClass cls, const QString& fileName) {
    return Create(cls, fileName, WindowsPluginBits(fileName));
}

std::unique_ptr<TSPI> TSPI::Create(TSPIClass cls, const QString& fileName, int windowsBits) {
    std::unique_ptr<TSPI> plugin(cls->NewInstance());
    // On failure the owner frees the object and its library.
    plugin->LoadFrom(fileName, windowsBits);
    return plugin;
}

void TSPI::LoadFrom(const QString& fileName, int windowsBits) {
    if (windowsBits != 0)
        LoadHosted(fileName, windowsBits);
    else
        LoadNative(fileName);
    ValidateAPI();

    QString text;
    if (ReadInfo(0, text) > 0)
        FAPIType = text;
    if (ReadInfo(1, text) > 0)
        FPluginName = text;

    FExtensions.clear();
    FDescriptions.clear();
    for (int n = 2;; n += 2) {
        QString pattern, description;
        if (ReadInfo(n, pattern) <= 0)
            break;
        if (ReadInfo(n + 1, description) <= 0)
            break;
        FExtensions << pattern;
        FDescriptions << description;
        if (n > 2 * 4096)
            break; // a plug-in that never says "no more" must not hang start-up
    }
}

void TSPI::LoadNative(const QString& fileName) {
    QString reason;
    {
        const std::lock_guard<std::recursive_mutex> entered(PluginCallLock());
        Module = TModuleHandle::Load(fileName, &reason);
    }
    if (!Module) {
        ESPIFOpenErrorSPI error(
            QStringLiteral("%1:Susie Pluginがロードできませんでした").arg(fileName));
        error.Reason = reason;
        throw error;
    }

    FModuleFileName = Module.FileName();
    if (FModuleFileName.isEmpty())
        FModuleFileName = fileName;

    FGetPluginInfo = Resolve<SPI_GetPluginInfo>(Module, "GetPluginInfo");
    FIsSupported = Resolve<SPI_IsSupported>(Module, "IsSupported");
    FGetPictureInfo = Resolve<SPI_GetPictureInfo>(Module, "GetPictureInfo");
    FGetPicture = Resolve<SPI_GetPicture>(Module, "GetPicture");
    FGetPreview = Resolve<SPI_GetPreview>(Module, "GetPreview");
    FGetArchiveInfo = Resolve<SPI_GetArchiveInfo>(Module, "GetArchiveInfo");
    FGetFileInfo = Resolve<SPI_GetFileInfo>(Module, "GetFileInfo");
    FGetFile = Resolve<SPI_GetFile>(Module, "GetFile");
    FConfigurationDlg = Resolve<SPI_ConfigurationDlg>(Module, "ConfigurationDlg");
}

void TSPI::LoadHosted(const QString& fileName, int bits) {
    const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(fileName));
    if (bits > 0)
        FRemote = TRemotePlugin::Open(path, bits);
    if (!FRemote)
        throw ESPIFOpenErrorSPI(
            QStringLiteral("%1:Susie Pluginがロードできませんでした").arg(fileName));
    FModuleFileName = path;
    const TRemotePlugin& r = *FRemote;
    FGetPluginInfo = Hosted(r, 0, FGetPluginInfo);
    FIsSupported = Hosted(r, 1, FIsSupported);
    FGetPictureInfo = Hosted(r, 2, FGetPictureInfo);
    FGetPicture = Hosted(r, 3, FGetPicture);
    FGetPreview = Hosted(r, 4, FGetPreview);
    FGetArchiveInfo = Hosted(r, 5, FGetArchiveInfo);
    FGetFileInfo = Hosted(r, 6, FGetFileInfo);
    FGetFile = Hosted(r, 7, FGetFile);
    FConfigurationDlg = Hosted(r, 8, FConfigurationDlg);
}

void TSPI::WarmUpHost() {
    // Not while a call is under way on another thread: that one starts it.
    std::unique_lock<std::recursive_mutex> entered(PluginCallLock(), std::try_to_lock);
    if (FRemote && entered.owns_lock())
        WinePlugins().WarmUp(FRemote->Bits());
}

int TSPI::ReadInfo(int infoNo, QString& text) {
    char buffer[InfoBufferSize];
    std::memset(buffer, 0, sizeof buffer);
    const int result = GetPluginInfo(infoNo, buffer, InfoBufferLength);
    buffer[InfoBufferSize - 1] = '\0';
    text = QString::fromUtf8(buffer);
    return result;
}

std::unique_ptr<TSPI> TSPI::CreatePlugin(const QString& fileName) {
    return CreatePlugin(fileName, WindowsPluginBits(fileName));
}

std::unique_ptr<TSPI> TSPI::CreatePlugin(const QString& fileName, int windowsBits,
                                         QString* loadError) {
    try {
        std::unique_ptr<TSPI> probe = Create(TSPI::StaticClass(), fileName, windowsBits);
        TSPIClass cls = TSPI::StaticClass();
        const QString& type = probe->APIType();
        if (type == QLatin1String("00IN"))
            cls = TInSPI::StaticClass();
        else if (type == QLatin1String("00AM"))
            cls = TAmSPI::StaticClass();
        else if (type == QLatin1String("00XN"))
            cls = TXnSPI::StaticClass();
        // The probe is released when it leaves this scope, also when the
        // chosen class fails; the new object holds its own library reference.
        return Create(cls, fileName, windowsBits);
    } catch (const ESPIFOpenErrorSPI& e) {
        if (loadError)
            *loadError = e.Reason;
        return nullptr;
    } catch (const ESPIInvalidSPI&) {
        return nullptr;
    }
}

// ---- Entry points ------------------------------------------------------------

void TSPI::RequireAPI(const void* entryPoint, const char* functionName) const {
    if (!entryPoint)
        throw ESPIInvalidAPI(QStringLiteral("%1は[%2]では使えないSusie Plugin APIです")
                                 .arg(QString::fromLatin1(functionName), FModuleFileName));
}

void TSPI::ValidateAPI() {
    RequireAPI(reinterpret_cast<const void*>(FGetPluginInfo), "GetPluginInfo");
}

void TLoaderSPI::ValidateAPI() {
    TSPI::ValidateAPI();
    RequireAPI(reinterpret_cast<const void*>(FIsSupported), "IsSupported");
}

void TInSPI::ValidateAPI() {
    TLoaderSPI::ValidateAPI();
    RequireAPI(reinterpret_cast<const void*>(FGetPictureInfo), "GetPictureInfo");
    RequireAPI(reinterpret_cast<const void*>(FGetPicture), "GetPicture");
}

void TAmSPI::ValidateAPI() {
    TLoaderSPI::ValidateAPI();
    RequireAPI(reinterpret_cast<const void*>(FGetArchiveInfo), "GetArchiveInfo");
    RequireAPI(reinterpret_cast<const void*>(FGetFileInfo), "GetFileInfo");
    RequireAPI(reinterpret_cast<const void*>(FGetFile), "GetFile");
}

void TXnSPI::ValidateAPI() {
    TSPI::ValidateAPI();
}

// ---- Call-throughs -----------------------------------------------------------

int TSPI::GetPluginInfo(int infoNo, char* buf, int bufLen) {
    RequireAPI(reinterpret_cast<const void*>(FGetPluginInfo), "GetPluginInfo");
    if (FRemote)
        return FRemote->GetPluginInfo(infoNo, buf, bufLen);
    const std::lock_guard<std::recursive_mutex> entered(PluginCallLock());
    return FGetPluginInfo(infoNo, buf, bufLen);
}

int TLoaderSPI::IsSupported(const char* fileName, void* header) {
    RequireAPI(reinterpret_cast<const void*>(FIsSupported), "IsSupported");
    const std::lock_guard<std::recursive_mutex> entered(PluginCallLock());
    if (Remote())
        return Remote()->IsSupported(fileName, header);
    return FIsSupported(fileName, header);
}

int TInSPI::GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, SpiPictureInfo* info) {
    RequireAPI(reinterpret_cast<const void*>(FGetPictureInfo), "GetPictureInfo");
    const std::lock_guard<std::recursive_mutex> entered(PluginCallLock());
    if (Remote())
        return Remote()->GetPictureInfo(buf, len, flag, info);
    return FGetPictureInfo(buf, len, flag, info);
}

int TInSPI::GetPicture(const char* buf, intptr_t len, unsigned int flag, HLOCAL* info, HLOCAL* bits,
                       SPI_PROGRESS progress, intptr_t data) {
    RequireAPI(reinterpret_cast<const void*>(FGetPicture), "GetPicture");
    const std::lock_guard<std::recursive_mutex> entered(PluginCallLock());
    if (Remote())
        return Remote()->GetPicture(false, buf, len, flag, info, bits, progress, data);
    return FGetPicture(buf, len, flag, info, bits, progress, data);
}

int TInSPI::GetPreview(const char* buf, intptr_t len, unsigned int flag, HLOCAL* info, HLOCAL* bits,
                       SPI_PROGRESS progress, intptr_t data) {
    RequireAPI(reinterpret_cast<const void*>(FGetPreview), "GetPreview");
    const std::lock_guard<std::recursive_mutex> entered(PluginCallLock());
    if (Remote())
        return Remote()->GetPicture(true, buf, len, flag, info, bits, progress, data);
    return FGetPreview(buf, len, flag, info, bits, progress, data);
}
