#pragma once

#include "spi_plugin.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>
#include <memory>

// A Windows plug-in run by the host of its bitness under Wine. It answers
// the calls a loaded plug-in answers; the plug-in object sends its calls
// here instead of into a loaded library. A call that kills or hangs the
// host fails like a plug-in that cannot decode; the host is started again
// at the next call. A plug-in that killed its host with two files is set
// aside until the program starts again.
class TRemotePlugin {
public:
    // The plug-in of that file, from what is known of it or asked now;
    // nullptr when the host cannot load it or Wine is missing.
    static std::unique_ptr<TRemotePlugin> Open(const QString& path, int bits);

    const QString& FileName() const { return Path; }
    int Bits() const { return FBits; }
    // Export i of SPIHOST_EXPORT_NAMES.
    bool Has(int exportIndex) const { return (Exports >> exportIndex) & 1u; }

    int GetPluginInfo(int infoNo, char* buf, int bufLen) const;
    int IsSupported(const char* fileName, const void* header);
    int GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, SpiPictureInfo* info);
    int GetPicture(bool preview, const char* buf, intptr_t len, unsigned int flag, HLOCAL* info,
                   HLOCAL* bits, SPI_PROGRESS progress, intptr_t data);
    // How long the plug-in itself took in the host for the last picture.
    double LastDecodeMs() const { return DecodeMs; }

private:
    TRemotePlugin() = default;
    // The host, with this plug-in loaded in it; nullptr when that fails.
    class TSPIHost* Ready();
    // The host went during a call: the file is remembered as the cause.
    void Lost();
    // Sends one request to the host with this plug-in loaded: `put` adds
    // the fields after the plug-in's number. A host found gone, or dying in
    // the first try (a plug-in may end it just after its last answer), is
    // started again for one more try; the second death counts against the
    // file. A call the window gave up raises EAbort on the window's thread.
    // Null when the call failed.
    class TSPIHost* Ask(quint32 kind,
                        const std::function<bool(class TSPIHost&, class TWireWriter&)>& put,
                        QByteArray& reply, SPI_PROGRESS progress = nullptr, intptr_t data = 0);
    bool Refused(const QByteArray& name) const;
    // The file name (or the memory data) of a call, sent in its request.
    bool PutSource(class TSPIHost& host, class TWireWriter& w, const char* buf, intptr_t len,
                   unsigned int flag);

    QString Path;
    int FBits = 0;
    quint32 Exports = 0;
    QList<QPair<int, QByteArray>> Info;
    int HostGeneration = -1;
    qint32 Id = -1;
    double DecodeMs = 0;
    QByteArray LastName; // the file of the call under way
};
