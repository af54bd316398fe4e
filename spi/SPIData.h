#pragma once

#include "spi/SPIPlugin.h"
#include "toolkit/Graphic.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
#include <exception>
#include <memory>

class QBuffer;
class QIODevice;

// Offsets at which each plug-in is tried: the data itself, and the data after
// a 128-byte MacBinary header.
inline constexpr std::array<intptr_t, 2> HeaderOffsets{0, 128};
// Bytes read once from the start of the data and offered to every plug-in.
inline constexpr int SPIHeaderBytes = 2048 + 128;

// The progress callback given to every plug-in; data is the data source.
// Reports done of total as 2..99 percent; a total of 0 reports 1. Answers 1
// (stop) when the progress handler raised.
extern "C" int PluginProgressCallback(int done, int total, intptr_t data);

// Windows' MulDiv: a * b / c rounded to the nearest integer (halves away from
// zero) with a 64-bit intermediate; -1 when c is 0 or the result overflows.
int MulDiv(int a, int b, int c);

// Data that the import plug-ins decode, and the memory they hand back.
class TInSPIAbleData {
public:
    virtual ~TInSPIAbleData();
    TInSPIAbleData(const TInSPIAbleData&) = delete;
    TInSPIAbleData& operator=(const TInSPIAbleData&) = delete;

    HLOCAL InfoHandle = nullptr;
    HLOCAL BitsHandle = nullptr;
    QString SourceName;
    SpiPictureInfo PictureInfo{};
    TGraphic* Owner; // the picture the data is decoded for, named in progress reports
    TProgressEvent OnProgress;

    // The locked blocks; nullptr when not decoded.
    const void* InfoPointer();
    const void* BitsPointer();
    // True unless both handles are held.
    bool IsEmpty() const { return !InfoHandle || !BitsHandle; }
    // Unlocks and frees everything the plug-ins handed back.
    void ReleaseData();
    // Runs the candidate plug-ins over the data until one decodes it.
    void DecodeByPlugins();
    void ReportProgress(TProgressStage stage, quint8 percent, const QString& text);

protected:
    TInSPIAbleData(TGraphic* owner, const QString& sourceName);

    virtual void ReadHeader(char* buffer, qint64 count) = 0;
    virtual void GetInfo(TInSPI* plugin, intptr_t offset, SpiPictureInfo* info) = 0;
    // Each answers the plug-in's result.
    virtual int GetPreviewData(TInSPI* plugin, intptr_t offset, HLOCAL* info, HLOCAL* bits) = 0;
    virtual int GetPictureData(TInSPI* plugin, intptr_t offset, HLOCAL* info, HLOCAL* bits) = 0;

    QByteArray EncodedName() const;

private:
    friend int PluginProgressCallback(int, int, intptr_t);
    void TryPlugin(TInSPI* plugin, QByteArray& header, intptr_t offset);
    // Takes the handles of a call: kept on success, taken as none otherwise.
    void TakeHandles(int result, HLOCAL info, HLOCAL bits);
    QList<TSPI*> CandidatePlugins() const;
    // True when the handles hold a picture whose header fits its blocks.
    bool HoldsValidPicture();

    void* LockedInfo = nullptr;
    void* LockedBits = nullptr;
    // A failure of the progress handler, raised again once the plug-in returns.
    std::exception_ptr HandlerError;
};

// Data in a file, named by SourceName.
class TInSPIAbleFromFile : public TInSPIAbleData {
public:
    TInSPIAbleFromFile(TGraphic* owner, const QString& fileName);

protected:
    void ReadHeader(char* buffer, qint64 count) override;
    void GetInfo(TInSPI* plugin, intptr_t offset, SpiPictureInfo* info) override;
    int GetPreviewData(TInSPI* plugin, intptr_t offset, HLOCAL* info, HLOCAL* bits) override;
    int GetPictureData(TInSPI* plugin, intptr_t offset, HLOCAL* info, HLOCAL* bits) override;
};

// Data in memory: a memory stream's own bytes, or a copy of another stream,
// always from the stream's first byte.
class TInSPIAbleFromStream : public TInSPIAbleData {
public:
    TInSPIAbleFromStream(TGraphic* owner, const QString& name, QIODevice& stream);

    const char* DataPointer = nullptr;
    intptr_t DataSize = 0;
    std::unique_ptr<QByteArray> DataCopy;

protected:
    void ReadHeader(char* buffer, qint64 count) override;
    void GetInfo(TInSPI* plugin, intptr_t offset, SpiPictureInfo* info) override;
    int GetPreviewData(TInSPI* plugin, intptr_t offset, HLOCAL* info, HLOCAL* bits) override;
    int GetPictureData(TInSPI* plugin, intptr_t offset, HLOCAL* info, HLOCAL* bits) override;
};
