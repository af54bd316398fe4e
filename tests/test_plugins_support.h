#pragma once
// Helpers shared by the decoder plug-in tests: loading a built *.spi with
// dlopen, calling it with file or memory input, turning the bitmap it returns
// into a QImage, and making test pictures in formats Qt cannot write.

#include "spi_plugin.h"
#include "support/TestSupport.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtEndian>
#include <dlfcn.h>
#include <memory>

// One plug-in library, loaded from the build folder.
class TPluginLib {
public:
    explicit TPluginLib(const QString& fileName) {
        Path = BuildDir() + QStringLiteral("/") + fileName;
        Handle = dlopen(QFile::encodeName(Path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!Handle) {
            Error = QString::fromLocal8Bit(dlerror());
            return;
        }
        getPluginInfo = reinterpret_cast<SPI_GetPluginInfo>(dlsym(Handle, "GetPluginInfo"));
        isSupported = reinterpret_cast<SPI_IsSupported>(dlsym(Handle, "IsSupported"));
        getPictureInfo = reinterpret_cast<SPI_GetPictureInfo>(dlsym(Handle, "GetPictureInfo"));
        getPicture = reinterpret_cast<SPI_GetPicture>(dlsym(Handle, "GetPicture"));
        getPreview = reinterpret_cast<SPI_GetPreview>(dlsym(Handle, "GetPreview"));
        configurationDlg =
            reinterpret_cast<SPI_ConfigurationDlg>(dlsym(Handle, "ConfigurationDlg"));
    }
    ~TPluginLib() {
        if (Handle)
            dlclose(Handle);
    }
    TPluginLib(const TPluginLib&) = delete;
    TPluginLib& operator=(const TPluginLib&) = delete;

    bool isLoaded() const {
        return Handle && getPluginInfo && isSupported && getPictureInfo && getPicture &&
               getPreview && configurationDlg;
    }
    QString Path;
    QString Error;
    SPI_GetPluginInfo getPluginInfo = nullptr;
    SPI_IsSupported isSupported = nullptr;
    SPI_GetPictureInfo getPictureInfo = nullptr;
    SPI_GetPicture getPicture = nullptr;
    SPI_GetPreview getPreview = nullptr;
    SPI_ConfigurationDlg configurationDlg = nullptr;

private:
    void* Handle = nullptr;
};

// The outcome of one GetPicture call, the bitmap copied out and freed.
struct TDecoded {
    int Result = -100;
    bool HandlesNull = true; // both handles were left null
    int BitCount = 0;
    int ColorsUsed = 0;
    int HeaderHeight = 0;
    QImage Image;       // the bitmap as the host would show it
    QByteArray LastRow; // the last row in memory (the bottom of the picture)
    QByteArray FirstRow;
};

// Records every progress report; stops at report number StopAt (1-based).
struct TProgressLog {
    QVector<QPair<int, int>> Reports;
    int StopAt = 0;
    static int Callback(int done, int total, intptr_t data) {
        auto* log = reinterpret_cast<TProgressLog*>(data);
        log->Reports.append({done, total});
        return log->StopAt > 0 && log->Reports.size() >= log->StopAt ? 1 : 0;
    }
};

inline TDecoded TakeBitmap(int rc, HLOCAL hInfo, HLOCAL hBits) {
    TDecoded d;
    d.Result = rc;
    d.HandlesNull = !hInfo && !hBits;
    if (rc == SPI_SUCCESS && hInfo && hBits) {
        const auto* h = static_cast<const SpiBitmapInfoHeader*>(LocalLock(hInfo));
        const auto* table = reinterpret_cast<const SpiRgbQuad*>(h + 1);
        const auto* bits = static_cast<const uchar*>(LocalLock(hBits));
        d.BitCount = h->biBitCount;
        d.ColorsUsed = int(h->biClrUsed);
        d.HeaderHeight = h->biHeight;
        const int w = h->biWidth, hgt = h->biHeight;
        const size_t stride = SpiRowBytes(w, h->biBitCount);
        if (h->biSize == 40 && h->biPlanes == 1 && w > 0 && hgt > 0 &&
            (h->biBitCount == 24 || h->biBitCount == 8)) {
            d.Image = QImage(w, hgt, QImage::Format_RGB32);
            for (int y = 0; y < hgt; ++y) {
                const uchar* row = bits + size_t(hgt - 1 - y) * stride; // bottom-up
                auto* out = reinterpret_cast<QRgb*>(d.Image.scanLine(y));
                for (int x = 0; x < w; ++x) {
                    if (h->biBitCount == 24) {
                        out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                    } else {
                        const SpiRgbQuad c = table[row[x]];
                        out[x] = qRgb(c.rgbRed, c.rgbGreen, c.rgbBlue);
                    }
                }
            }
            d.FirstRow = QByteArray(reinterpret_cast<const char*>(bits), qsizetype(stride));
            d.LastRow = QByteArray(reinterpret_cast<const char*>(bits) + (hgt - 1) * stride,
                                   qsizetype(stride));
        }
        LocalUnlock(hInfo);
        LocalUnlock(hBits);
    }
    LocalFree(hInfo);
    LocalFree(hBits);
    return d;
}

inline TDecoded DecodeMemory(const TPluginLib& lib, const QByteArray& data,
                             TProgressLog* log = nullptr) {
    TProgressLog local;
    TProgressLog* used = log ? log : &local;
    HLOCAL hInfo = reinterpret_cast<HLOCAL>(0x1), hBits = reinterpret_cast<HLOCAL>(0x1);
    const int rc = lib.getPicture(data.constData(), data.size(), SPI_INPUT_MEMORY, &hInfo, &hBits,
                                  &TProgressLog::Callback, reinterpret_cast<intptr_t>(used));
    return TakeBitmap(rc, hInfo, hBits);
}

inline TDecoded DecodeFile(const TPluginLib& lib, const QString& path, intptr_t offset,
                           TProgressLog* log = nullptr) {
    TProgressLog local;
    TProgressLog* used = log ? log : &local;
    HLOCAL hInfo = reinterpret_cast<HLOCAL>(0x1), hBits = reinterpret_cast<HLOCAL>(0x1);
    const QByteArray name = QFile::encodeName(path);
    const int rc = lib.getPicture(name.constData(), offset, SPI_INPUT_FILE, &hInfo, &hBits,
                                  &TProgressLog::Callback, reinterpret_cast<intptr_t>(used));
    return TakeBitmap(rc, hInfo, hBits);
}

// The host's header buffer: the data's first bytes in 2048 zero-filled ones.
inline bool SupportsHeader(const TPluginLib& lib, const QByteArray& data,
                           const char* name = "picture") {
    QByteArray head = data.left(2048);
    head.append(QByteArray(2048 - head.size(), '\0'));
    return lib.isSupported(name, head.data()) != 0;
}

inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A picture over the background as the plug-ins show it: white behind alpha.
inline QImage Flatten(const QImage& source) {
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    QImage out(argb.size(), QImage::Format_RGB32);
    auto blend = [](int c, int a) { return (c * a + 255 * (255 - a) + 127) / 255; };
    for (int y = 0; y < argb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        auto* o = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const int a = qAlpha(in[x]);
            o[x] = qRgb(blend(qRed(in[x]), a), blend(qGreen(in[x]), a), blend(qBlue(in[x]), a));
        }
    }
    return out;
}

// Largest difference of any channel of any pixel; -1 when the sizes differ.
inline int MaxDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull())
        return -1;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

// Mean difference over all channels; -1 when the sizes differ.
inline double MeanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull())
        return -1;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

// A colourful test picture: horizontal, vertical and mixed gradients, so a
// picture upside down or with channels swapped does not match. With alpha,
// the alpha runs from opaque at the left to transparent at the right.
inline QImage TestPicture(int w, int h, bool alpha = false) {
    QImage img(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int a = alpha ? 255 - (x * 255) / std::max(1, w - 1) : 255;
            line[x] = qRgba((x * 7) & 0xff, (y * 11) & 0xff, (x * y + 40) & 0xff, a);
        }
    }
    return img;
}

// ImageMagick's convert (scripts/install-deps.sh installs it).
inline QString ConvertProgram() {
    if (QFile::exists(QStringLiteral("/usr/bin/convert")))
        return QStringLiteral("/usr/bin/convert");
    return QStandardPaths::findExecutable(QStringLiteral("convert"));
}

// Runs convert with arguments; true when it made the output (the last one).
inline bool Convert(const QStringList& args) {
    const QString program = ConvertProgram();
    if (program.isEmpty())
        return false;
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    return QFile::exists(args.last().section(QLatin1Char(':'), -1));
}

// Runs one of Debian's encoders (heif-enc, avifenc, cjxl); true when it
// wrote its output without failing.
inline bool RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The plug-in file of each format and its samples' extension.
inline QString PluginFile(const QString& format) {
    return format + QStringLiteral(".spi");
}

// Writes source as a lossless file of the format (png, gif, webp, tiff) under
// the sandbox; an empty path when the tools failed. GIF keeps at most 256
// colours, so give it pictures with few colours when the pixels matter.
inline QString MakeSample(const TSandbox& box, const QString& format, const QImage& source,
                          const QString& base = QStringLiteral("sample"),
                          const QStringList& extra = {}) {
    const QString png = box.filePath(base + QStringLiteral("-source.png"));
    if (!source.save(png, "PNG"))
        return {};
    if (format == QLatin1String("png"))
        return png;
    QStringList args{png};
    QString out;
    if (format == QLatin1String("gif")) {
        out = box.filePath(base + QStringLiteral(".gif"));
    } else if (format == QLatin1String("webp")) {
        out = box.filePath(base + QStringLiteral(".webp"));
        args << QStringLiteral("-define") << QStringLiteral("webp:lossless=true");
    } else if (format == QLatin1String("tiff")) {
        out = box.filePath(base + QStringLiteral(".tif"));
        args << QStringLiteral("-compress") << QStringLiteral("lzw");
    } else if (format == QLatin1String("heif")) { // AVIF: its encoder writes it losslessly
        out = box.filePath(base + QStringLiteral(".avif"));
        return RunTool(QStringLiteral("avifenc"), QStringList{"-l", "-s", "10", png, out} + extra)
                   ? out
                   : QString();
    } else if (format == QLatin1String("jxl")) {
        out = box.filePath(base + QStringLiteral(".jxl"));
        return RunTool(QStringLiteral("cjxl"), QStringList{png, out, "-d", "0"} + extra)
                   ? out
                   : QString();
    } else {
        return {};
    }
    args << extra << out;
    return Convert(args) ? out : QString();
}

inline QStringList PluginFormats() {
    return {QStringLiteral("png"),  QStringLiteral("gif"),  QStringLiteral("webp"),
            QStringLiteral("tiff"), QStringLiteral("heif"), QStringLiteral("jxl")};
}
