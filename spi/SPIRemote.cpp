#include "spi/SPIRemote.h"

#include "platform/Exceptions.h"
#include "spi/SPIDib.h"
#include "spi/SPIHost.h"
#include "spi/SPIWine.h"
#include "spihost/SpiHostProtocol.h"

#include <QFileInfo>
#include <cstring>
#include <system_error>
#include <thread>

namespace {

quint64 BitsOffset(quint64 infoBytes) {
    return (infoBytes + SPIHOST_BITS_ALIGN - 1) / SPIHOST_BITS_ALIGN * SPIHOST_BITS_ALIGN;
}

// A local memory block of that size; nullptr for none.
HLOCAL NewBlock(quint64 count) {
    return count ? LocalAlloc(LMEM_MOVEABLE, size_t(count)) : nullptr;
}

// A local memory block holding a copy of the bytes.
HLOCAL BlockOf(const char* bytes, quint64 count) {
    HLOCAL block = NewBlock(count);
    if (block)
        std::memcpy(LocalLock(block), bytes, size_t(count));
    return block;
}

// Reads a large picture in two halves at once: the time goes to copying,
// which a second core halves.
bool ReadInHalves(const TSPIHost& host, quint64 address, char* to, quint64 count) {
    if (count < (2u << 20))
        return host.ReadMemory(address, to, count);
    const quint64 half = (count / 2) & ~quint64(4095);
    bool first = false;
    std::thread other;
    try {
        other = std::thread([&] { first = host.ReadMemory(address, to, half); });
    } catch (const std::system_error&) {
        return host.ReadMemory(address, to, count); // no thread to be had: in one go
    }
    const bool second = host.ReadMemory(address + half, to + half, count - half);
    other.join();
    return first && second;
}

// A local memory block read from the host's memory; false when it is
// needed and could not be had.
bool ReadBlock(const TSPIHost& host, quint64 address, quint64 count, HLOCAL* block) {
    *block = NewBlock(count);
    if (count &&
        !(*block && ReadInHalves(host, address, static_cast<char*>(LocalLock(*block)), count))) {
        *block = *block ? LocalFree(*block) : nullptr;
        return false;
    }
    return true;
}

// The bytes of bits the picture's header (its info block, as the host sent
// it) says it needs; 0 for a header that does not hold, or a bits block
// that is short of it or claims far more (a lie, not slack).
quint64 PictureBytes(const QByteArray& header, quint64 infoBytes, quint64 bitsBytes) {
    if (infoBytes == 0 || infoBytes > SPIHOST_MAX_INFO || quint64(header.size()) != infoBytes)
        return 0;
    const TDibLayout layout = ReadDibLayout(header.constData(), size_t(header.size()),
                                            size_t(qMin<quint64>(bitsBytes, SIZE_MAX)));
    if (!layout.Valid || bitsBytes > 2 * layout.ImageSize + (64u << 10))
        return 0;
    return layout.ImageSize;
}

} // namespace

std::unique_ptr<TRemotePlugin> TRemotePlugin::Open(const QString& path, int bits) {
    const auto info = WinePlugins().Probe(path, bits);
    if (!info || !info->Loads)
        return nullptr;
    std::unique_ptr<TRemotePlugin> plugin(new TRemotePlugin);
    plugin->Path = path;
    plugin->FBits = bits;
    plugin->Exports = info->Exports;
    plugin->Info = info->Info;
    return plugin;
}

int TRemotePlugin::GetPluginInfo(int infoNo, char* buf, int bufLen) const {
    if (infoNo < 0 || infoNo >= Info.size() || !buf || bufLen <= 0)
        return 0;
    const auto& [result, text] = Info[infoNo];
    // Cut at a whole UTF-8 character that leaves room for the terminator.
    qsizetype n = qMin<qsizetype>(text.size(), bufLen - 1);
    while (n > 0 && n < text.size() && (quint8(text[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(buf, text.constData(), size_t(n));
    buf[n] = '\0';
    return result;
}

TSPIHost* TRemotePlugin::Ready() {
    TSPIHost* host = WinePlugins().Host(FBits);
    if (!host)
        return nullptr;
    if (HostGeneration == host->Generation() && Id >= 0)
        return host;
    QByteArray reply;
    bool abandoned = false;
    const auto waiting = WinePlugins().Waiting({}, abandoned);
    if (!host->Call(SPIHOST_LOAD, TWireWriter().Text(QFile::encodeName(Path)).Bytes(), reply,
                    WinePlugins().Setup.CallTimeoutMs, {}, waiting,
                    WinePlugins().Setup.CallDeadlineMs)) {
        if (abandoned && OnWindowThread())
            throw EAbort(QStringLiteral("plug-in call given up"));
        if (!host->FailedAtStart() && host->LastEnd() != TSPIHost::TCallEnd::Abandoned)
            Lost();
        return nullptr;
    }
    Id = TWireReader(reply).I32();
    HostGeneration = host->Generation();
    return Id >= 0 ? host : nullptr;
}

TSPIHost* TRemotePlugin::Ask(quint32 kind, const std::function<bool(TSPIHost&, TWireWriter&)>& put,
                             QByteArray& reply, SPI_PROGRESS progress, intptr_t data) {
    TWinePlugins& wine = WinePlugins();
    for (int attempt = 0; attempt < 2; ++attempt) {
        TSPIHost* host = Ready();
        TWireWriter w;
        if (!host || !put(*host, w.I32(Id)))
            return nullptr;
        host->SetStop(false);
        // Progress comes one way; a handler that wants the plug-in to stop
        // raises the flag the host's callback answers with. Between reports
        // the last one is given again, so a handler hears of a silent call.
        int done = 0, total = 100;
        const auto sink = [&](int d, int t) {
            done = d;
            total = t;
            if (progress && progress(d, t, data) != 0)
                host->SetStop(true);
        };
        bool abandoned = false;
        const auto waiting =
            wine.Waiting([&] { return progress && progress(done, total, data) != 0; }, abandoned);
        const bool answered = host->Call(kind, w.Bytes(), reply, wine.Setup.CallTimeoutMs, sink,
                                         waiting, wine.Setup.CallDeadlineMs);
        // Given up by the window, the call ends here even when the plug-in
        // answered in its last moment.
        if (abandoned && OnWindowThread())
            throw EAbort(QStringLiteral("plug-in call given up"));
        if (answered)
            return host;
        if (host->LastEnd() == TSPIHost::TCallEnd::Abandoned)
            return nullptr; // stopped on purpose: no file's doing
        if (host->LastEnd() != TSPIHost::TCallEnd::Died || attempt == 1) {
            Lost();
            return nullptr;
        }
    }
    return nullptr;
}

void TRemotePlugin::Lost() {
    Id = -1;
    if (WinePlugins().NoteKill(Path, LastName))
        WinePlugins().Notify(
            QStringLiteral("プラグイン %1 はホストを 2 度落としたので、次の起動まで使いません")
                .arg(QFileInfo(Path).fileName()));
}

bool TRemotePlugin::Refused(const QByteArray& name) const {
    return WinePlugins().SetAside(Path) || WinePlugins().KilledBy(Path, name);
}

int TRemotePlugin::IsSupported(const char* fileName, const void* header) {
    LastName = QByteArray(fileName ? fileName : "");
    if (Refused(LastName))
        return 0;
    QByteArray reply;
    const auto put = [&](TSPIHost&, TWireWriter& w) {
        w.Text(LastName).Raw(header, SPIHOST_HEADER_BYTES);
        return true;
    };
    return Ask(SPIHOST_IS_SUPPORTED, put, reply) ? TWireReader(reply).I32() : 0;
}

bool TRemotePlugin::PutSource(TSPIHost& host, TWireWriter& w, const char* buf, intptr_t len,
                              unsigned int flag) {
    const int timeout = WinePlugins().Setup.CallTimeoutMs;
    const bool memory = (flag & SPI_INPUT_MASK) == SPI_INPUT_MEMORY;
    if (!host.EnsureShared(memory ? quint64(qMax<intptr_t>(len, 0)) : 0, timeout))
        return false;
    if (memory && len > 0)
        std::memcpy(host.SharedData(), buf, size_t(len));
    w.I32(qint32(flag)).I64(len).Text(memory ? QByteArray() : QByteArray(buf));
    if (!memory)
        LastName = QByteArray(buf);
    return true;
}

int TRemotePlugin::GetPictureInfo(const char* buf, intptr_t len, unsigned int flag,
                                  SpiPictureInfo* info) {
    if (Refused(LastName))
        return SPI_OTHER_ERROR;
    QByteArray reply;
    const auto put = [&](TSPIHost& host, TWireWriter& w) {
        return PutSource(host, w, buf, len, flag);
    };
    if (!Ask(SPIHOST_PICTURE_INFO, put, reply))
        return SPI_OTHER_ERROR;
    TWireReader r(reply);
    const int result = r.I32();
    info->left = r.I32();
    info->top = r.I32();
    info->width = r.I32();
    info->height = r.I32();
    info->x_density = quint16(r.I16());
    info->y_density = quint16(r.I16());
    info->colorDepth = r.I16();
    info->hInfo = nullptr; // the host has freed the plug-in's text
    return r.Ok() ? result : SPI_OTHER_ERROR;
}

int TRemotePlugin::GetPicture(bool preview, const char* buf, intptr_t len, unsigned int flag,
                              HLOCAL* info, HLOCAL* bits, SPI_PROGRESS progress, intptr_t data) {
    const int timeout = WinePlugins().Setup.CallTimeoutMs;
    if (Refused(LastName))
        return SPI_OTHER_ERROR;
    bool direct = false;
    const auto put = [&](TSPIHost& host, TWireWriter& w) {
        if (!PutSource(host, w, buf, len, flag))
            return false;
        direct = host.ReadsDirectly() && WinePlugins().Setup.ReadHostMemory;
        w.I32(direct ? 1 : 0);
        return true;
    };
    QByteArray reply;
    TSPIHost* host = Ask(preview ? SPIHOST_PREVIEW : SPIHOST_PICTURE, put, reply, progress, data);
    if (!host)
        return SPI_OTHER_ERROR;
    TWireReader r(reply);
    const int result = r.I32();
    const quint64 infoBytes = quint64(r.I64()), bitsBytes = quint64(r.I64());
    const bool inShared = r.I32() != 0;
    r.I64(); // where the host keeps the info: it came with the reply
    const quint64 bitsAt = quint64(r.I64());
    DecodeMs = r.I32() / 1000.0;
    const QByteArray header = r.Text();
    if (!r.Ok())
        return SPI_OTHER_ERROR;
    if (result != SPI_SUCCESS)
        return result;
    // The picture's own header says what its bits take; nothing the host
    // claims beyond that is allocated, mapped or copied.
    const quint64 image = PictureBytes(header, infoBytes, bitsBytes);
    if (image == 0) {
        host->Tell(SPIHOST_RELEASE);
        return SPI_OUT_OF_ORDER;
    }
    *info = BlockOf(header.constData(), infoBytes);
    if (!*info) {
        host->Tell(SPIHOST_RELEASE);
        return SPI_NO_MEMORY;
    }
    if (!inShared && direct) {
        if (ReadBlock(*host, bitsAt, image, bits)) {
            host->Tell(SPIHOST_RELEASE);
            return SPI_SUCCESS;
        }
        // Not had directly (out of memory here, or the host's addresses do
        // not read): the host still keeps the picture for the way below.
    }
    const quint64 bitsOffset = BitsOffset(infoBytes);
    if (!inShared) {
        QByteArray fetched;
        if (!host->EnsureShared(bitsOffset + image, timeout) ||
            !host->Call(SPIHOST_FETCH, TWireWriter().I64(qint64(image)).Bytes(), fetched,
                        timeout) ||
            TWireReader(fetched).I32() != 0) {
            host->ShrinkShared(timeout);
            *info = LocalFree(*info);
            return SPI_NO_MEMORY;
        }
    }
    // Only what the mapping holds is read, whatever the host said.
    if (bitsOffset + image > host->SharedDataSize()) {
        host->ShrinkShared(timeout);
        *info = LocalFree(*info);
        return SPI_OUT_OF_ORDER;
    }
    *bits = BlockOf(host->SharedData() + bitsOffset, image);
    host->ShrinkShared(timeout);
    if (!*bits) {
        *info = LocalFree(*info);
        return SPI_NO_MEMORY;
    }
    return SPI_SUCCESS;
}
