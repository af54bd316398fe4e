#pragma once

#include "spi/SPIExceptions.h"
#include "spi/SPIModule.h"
#include "spi/SPIRemote.h"
#include "spi_plugin.h"

#include <QString>
#include <QStringList>
#include <memory>

class TSPI;

// The run-time identity of a plug-in class: its name, its parent and how to
// make a bare object of it, so a class chosen at run time can be created.
struct TSPIClassInfo {
    const char* ClassName;
    const TSPIClassInfo* Parent;
    TSPI* (*NewInstance)();
};
using TSPIClass = const TSPIClassInfo*;

// One loaded plug-in library: the information it gives about itself and its
// entry points. Objects are made from a file name by Create or CreatePlugin.
// A Windows plug-in (a PE file, 32 or 64 bits) is not loaded here: it runs in
// a host under Wine, and every call goes there.
class TSPI {
public:
    virtual ~TSPI() = default;
    TSPI(const TSPI&) = delete;
    TSPI& operator=(const TSPI&) = delete;

    static TSPIClass StaticClass();
    virtual TSPIClass ClassType() const { return StaticClass(); }
    bool InheritsFrom(TSPIClass cls) const;

    // Makes an object of the given class from a plug-in file: loads the
    // library, resolves the exports, checks the class's entry points and
    // reads the plug-in information. Raises ESPIFOpenErrorSPI or
    // ESPIInvalidAPI; the library is released again on failure.
    static std::unique_ptr<TSPI> Create(TSPIClass cls, const QString& fileName);
    template <class T> static std::unique_ptr<T> CreateAs(const QString& fileName) {
        return std::unique_ptr<T>(static_cast<T*>(Create(T::StaticClass(), fileName).release()));
    }
    // The object of the class that the plug-in's API type selects; nullptr
    // when the file cannot be loaded.
    static std::unique_ptr<TSPI> CreatePlugin(const QString& fileName);
    // The same for a file whose header was read already (WindowsPluginBits);
    // the loader's reason for a file it refused goes to loadError.
    static std::unique_ptr<TSPI> CreatePlugin(const QString& fileName, int windowsBits,
                                              QString* loadError = nullptr);

    void* ModuleHandle() const { return Module.Get(); }
    // The plug-in's host side when it is a Windows plug-in, else nullptr.
    TRemotePlugin* Remote() const { return FRemote.get(); }
    // Starts the host of a Windows plug-in without waiting for it.
    void WarmUpHost();
    const QString& ModuleFileName() const { return FModuleFileName; }
    const QString& APIType() const { return FAPIType; }
    const QString& PluginName() const { return FPluginName; }
    const QStringList& Extensions() const { return FExtensions; }
    const QStringList& Descriptions() const { return FDescriptions; }

    // Raises ESPIInvalidAPI naming the function when the entry point is missing.
    void RequireAPI(const void* entryPoint, const char* functionName) const;

    int GetPluginInfo(int infoNo, char* buf, int bufLen);

protected:
    TSPI() = default;
    // Raises ESPIInvalidAPI for the first entry point this class needs and
    // the library lacks.
    virtual void ValidateAPI();

    SPI_GetPluginInfo FGetPluginInfo = nullptr;
    SPI_IsSupported FIsSupported = nullptr;
    SPI_GetPictureInfo FGetPictureInfo = nullptr;
    SPI_GetPicture FGetPicture = nullptr;
    SPI_GetPreview FGetPreview = nullptr;
    SPI_GetArchiveInfo FGetArchiveInfo = nullptr;
    SPI_GetFileInfo FGetFileInfo = nullptr;
    SPI_GetFile FGetFile = nullptr;
    SPI_ConfigurationDlg FConfigurationDlg = nullptr;

private:
    static std::unique_ptr<TSPI> Create(TSPIClass cls, const QString& fileName, int windowsBits);
    void LoadFrom(const QString& fileName, int windowsBits);
    void LoadNative(const QString& fileName);
    void LoadHosted(const QString& fileName, int bits);
    // One GetPluginInfo call into a terminated 256-byte buffer.
    int ReadInfo(int infoNo, QString& text);

    TModuleHandle Module;
    std::unique_ptr<TRemotePlugin> FRemote;
    QString FModuleFileName;
    QString FAPIType;
    QString FPluginName;
    QStringList FExtensions;
    QStringList FDescriptions;
};

// Plug-ins that read data.
class TLoaderSPI : public TSPI {
public:
    static TSPIClass StaticClass();
    TSPIClass ClassType() const override { return StaticClass(); }
    int IsSupported(const char* fileName, void* header);

protected:
    TLoaderSPI() = default;
    void ValidateAPI() override;
};

// Import (picture) plug-ins, API type "00IN".
class TInSPI : public TLoaderSPI {
public:
    static TSPIClass StaticClass();
    TSPIClass ClassType() const override { return StaticClass(); }
    int GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, SpiPictureInfo* info);
    int GetPicture(const char* buf, intptr_t len, unsigned int flag, HLOCAL* info, HLOCAL* bits,
                   SPI_PROGRESS progress, intptr_t data);
    int GetPreview(const char* buf, intptr_t len, unsigned int flag, HLOCAL* info, HLOCAL* bits,
                   SPI_PROGRESS progress, intptr_t data);

protected:
    TInSPI() = default;
    void ValidateAPI() override;
};

// Archive plug-ins, API type "00AM".
class TAmSPI : public TLoaderSPI {
public:
    static TSPIClass StaticClass();
    TSPIClass ClassType() const override { return StaticClass(); }

protected:
    TAmSPI() = default;
    void ValidateAPI() override;
};

// Plug-ins of API type "00XN".
class TXnSPI : public TSPI {
public:
    static TSPIClass StaticClass();
    TSPIClass ClassType() const override { return StaticClass(); }

protected:
    TXnSPI() = default;
    void ValidateAPI() override;
};
