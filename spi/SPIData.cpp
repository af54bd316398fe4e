#include "spi/SPIData.h"
#include "platform/FileAccess.h"
#include "platform/FileName.h"

#include "spi/SPIDib.h"
#include "spi/SPIs.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <limits>
#include <utility>

// ---- Progress callback -------------------------------------------------------

int MulDiv(int a, int b, int c) {
    if (c == 0)
        return -1;
    const qint64 product = qint64(a) * qint64(b);
    qint64 quotient = product / c;
    const qint64 remainder = product % c;
    if (2 * qAbs(remainder) >= qAbs(qint64(c)))
        quotient += ((product < 0) != (c < 0)) ? -1 : 1;
    if (quotient > std::numeric_limits<int>::max() || quotient < std::numeric_limits<int>::min())
        return -1;
    return int(quotient);
}

extern "C" int PluginProgressCallback(int done, int total, intptr_t data) {
    auto* source = reinterpret_cast<TInSPIAbleData*>(data);
    if (!source || !source->OnProgress)
        return 0;
    // 2..99 while the plug-in works, apart from the seeking (1) and ending
    // (100) reports; a total of 0 gives 1, and a plug-in counting past its
    // total stays at 99.
    const int percent = qBound(1, MulDiv(done, 97, total) + 2, 99);
    try {
        source->ReportProgress(psRunning, quint8(percent), QString());
    } catch (const EAbort&) {
        return 1;
    } catch (...) {
        // Nothing may unwind through the plug-in's own code: ask it to stop
        // and raise the failure again once it has returned.
        source->HandlerError = std::current_exception();
        return 1;
    }
    return 0;
}

// ---- Data source ---------------------------------------------------------------

TInSPIAbleData::TInSPIAbleData(TGraphic* owner, const QString& sourceName)
    : SourceName(sourceName), Owner(owner) {}

TInSPIAbleData::~TInSPIAbleData() {
    ReleaseData();
}

QByteArray TInSPIAbleData::EncodedName() const {
    return PathToBytes(SourceName);
}

const void* TInSPIAbleData::InfoPointer() {
    if (!LockedInfo && InfoHandle)
        LockedInfo = LocalLock(InfoHandle);
    return LockedInfo;
}

const void* TInSPIAbleData::BitsPointer() {
    if (!LockedBits && BitsHandle)
        LockedBits = LocalLock(BitsHandle);
    return LockedBits;
}

void TInSPIAbleData::ReleaseData() {
    if (LockedInfo) {
        LocalUnlock(InfoHandle);
        LockedInfo = nullptr;
    }
    if (LockedBits) {
        LocalUnlock(BitsHandle);
        LockedBits = nullptr;
    }
    if (InfoHandle)
        InfoHandle = LocalFree(InfoHandle);
    if (BitsHandle)
        BitsHandle = LocalFree(BitsHandle);
    if (PictureInfo.hInfo)
        PictureInfo.hInfo = LocalFree(PictureInfo.hInfo);
    InfoHandle = BitsHandle = PictureInfo.hInfo = nullptr;
}

void TInSPIAbleData::ReportProgress(TProgressStage stage, quint8 percent, const QString& text) {
    if (OnProgress)
        OnProgress(Owner, stage, percent, stage == psEnding, QRect(0, 0, 0, 0), text);
}

void TInSPIAbleData::TakeHandles(int result, HLOCAL info, HLOCAL bits) {
    // A failing plug-in's handles are not ours to free.
    if (result != SPI_SUCCESS)
        return;
    InfoHandle = info;
    BitsHandle = bits;
}

bool TInSPIAbleData::HoldsValidPicture() {
    if (IsEmpty())
        return false;
    return ReadDibLayout(InfoPointer(), LocalSize(InfoHandle), LocalSize(BitsHandle)).Valid;
}

QList<TSPI*> TInSPIAbleData::CandidatePlugins() const {
    QList<TSPI*> list;
    if (!ActiveSPIs)
        return list;
    if (ActiveSPIs->GraphicForcedLoader)
        list << ActiveSPIs->GraphicForcedLoader;
    else
        ActiveSPIs->CollectPlugins({TInSPI::StaticClass()}, SourceName, list);
    return list;
}

void TInSPIAbleData::TryPlugin(TInSPI* plugin, QByteArray& header, intptr_t offset) {
    if (plugin->IsSupported(EncodedName().constData(), header.data() + offset) == 0)
        return;
    GetInfo(plugin, offset, &PictureInfo);

    HLOCAL info = nullptr, bits = nullptr;
    if (ActiveSPIs && ActiveSPIs->GraphicPreview) {
        try {
            const int result = GetPreviewData(plugin, offset, &info, &bits);
            TakeHandles(result, info, bits);
        } catch (const ESPIInvalidAPI&) {
            // No preview export: the full picture is asked for instead.
        }
        if (HandlerError)
            std::rethrow_exception(std::exchange(HandlerError, nullptr));
        if (!IsEmpty())
            return;
        // A preview with one handle only is no picture; its handle is ours.
        if (InfoHandle)
            InfoHandle = LocalFree(InfoHandle);
        if (BitsHandle)
            BitsHandle = LocalFree(BitsHandle);
        info = bits = nullptr;
    }
    const int result = GetPictureData(plugin, offset, &info, &bits);
    TakeHandles(result, info, bits);
    if (HandlerError)
        std::rethrow_exception(std::exchange(HandlerError, nullptr));
}

void TInSPIAbleData::DecodeByPlugins() {
    const bool mac = ActiveSPIs && ActiveSPIs->MacBinary;
    ReportProgress(psStarting, 0, QStringLiteral("Loading Graphic by Susie Plugin"));
    try {
        ReleaseData();
        ReportProgress(psRunning, 1, QStringLiteral("Seeking enabled Susie Plugins"));
        const QList<TSPI*> candidates = CandidatePlugins();
        QByteArray header(SPIHeaderBytes, '\0');
        ReadHeader(header.data(), header.size());
        bool decoded = false;
        for (TSPI* candidate : candidates) {
            for (size_t i = 0; i < (mac ? HeaderOffsets.size() : 1) && !decoded; ++i) {
                ReportProgress(psRunning, 1,
                               QStringLiteral("Loading by [%1]")
                                   .arg(QFileInfo(candidate->ModuleFileName()).fileName()));
                TryPlugin(static_cast<TInSPI*>(candidate), header, HeaderOffsets[i]);
                // A picture whose header disagrees with its blocks counts as
                // not decoded.
                decoded = HoldsValidPicture();
                if (!decoded)
                    ReleaseData();
            }
            if (decoded)
                break;
        }
    } catch (...) {
        ReportProgress(psEnding, 100, QStringLiteral("Loaded Graphic by Susie Plugin"));
        throw;
    }
    ReportProgress(psEnding, 100, QStringLiteral("Loaded Graphic by Susie Plugin"));
}

// ---- File data -----------------------------------------------------------------

TInSPIAbleFromFile::TInSPIAbleFromFile(TGraphic* owner, const QString& fileName)
    : TInSPIAbleData(owner, fileName) {}

void TInSPIAbleFromFile::ReadHeader(char* buffer, qint64 count) {
    // A named pipe or a device would block the open; only files are read.
    if (!FileFacts(SourceName).IsFile)
        return;
    QFile file;
    if (OpenForReading(file, SourceName) != 0)
        return; // the plug-ins decide on zeros
    const qint64 n = qMin(count, file.size());
    QByteArray bytes = file.read(n);
    std::memcpy(buffer, bytes.constData(), size_t(bytes.size()));
}

void TInSPIAbleFromFile::GetInfo(TInSPI* plugin, intptr_t offset, SpiPictureInfo* info) {
    std::memset(info, 0, sizeof *info); // the handle stays null unless the plug-in sets one
    plugin->GetPictureInfo(EncodedName().constData(), offset, SPI_INPUT_FILE, info);
}

int TInSPIAbleFromFile::GetPreviewData(TInSPI* plugin, intptr_t offset, HLOCAL* info,
                                       HLOCAL* bits) {
    return plugin->GetPreview(EncodedName().constData(), offset, SPI_INPUT_FILE, info, bits,
                              PluginProgressCallback, reinterpret_cast<intptr_t>(this));
}

int TInSPIAbleFromFile::GetPictureData(TInSPI* plugin, intptr_t offset, HLOCAL* info,
                                       HLOCAL* bits) {
    return plugin->GetPicture(EncodedName().constData(), offset, SPI_INPUT_FILE, info, bits,
                              PluginProgressCallback, reinterpret_cast<intptr_t>(this));
}

// ---- Memory data ---------------------------------------------------------------

TInSPIAbleFromStream::TInSPIAbleFromStream(TGraphic* owner, const QString& name, QIODevice& stream)
    : TInSPIAbleData(owner, name) {
    if (auto* buffer = qobject_cast<QBuffer*>(&stream)) {
        const QByteArray& bytes = static_cast<const QBuffer*>(buffer)->data();
        DataPointer = bytes.constData();
        DataSize = bytes.size();
        return;
    }
    if (!stream.isSequential())
        stream.seek(0);
    DataCopy = std::make_unique<QByteArray>(stream.readAll());
    DataPointer = DataCopy->constData();
    DataSize = DataCopy->size();
}

void TInSPIAbleFromStream::ReadHeader(char* buffer, qint64 count) {
    std::memcpy(buffer, DataPointer, size_t(qMin<qint64>(count, DataSize)));
}

void TInSPIAbleFromStream::GetInfo(TInSPI* plugin, intptr_t offset, SpiPictureInfo* info) {
    std::memset(info, 0, sizeof *info);
    if (offset > DataSize)
        return;
    plugin->GetPictureInfo(DataPointer + offset, DataSize - offset, SPI_INPUT_MEMORY, info);
}

int TInSPIAbleFromStream::GetPreviewData(TInSPI* plugin, intptr_t offset, HLOCAL* info,
                                         HLOCAL* bits) {
    if (offset > DataSize)
        return SPI_NOT_SUPPORT;
    return plugin->GetPreview(DataPointer + offset, DataSize - offset, SPI_INPUT_MEMORY, info, bits,
                              PluginProgressCallback, reinterpret_cast<intptr_t>(this));
}

int TInSPIAbleFromStream::GetPictureData(TInSPI* plugin, intptr_t offset, HLOCAL* info,
                                         HLOCAL* bits) {
    if (offset > DataSize)
        return SPI_NOT_SUPPORT;
    return plugin->GetPicture(DataPointer + offset, DataSize - offset, SPI_INPUT_MEMORY, info, bits,
                              PluginProgressCallback, reinterpret_cast<intptr_t>(this));
}
