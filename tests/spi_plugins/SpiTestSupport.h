#pragma once

// Helpers shared by the plug-in host tests: where the test plug-ins are, and
// the small picture format they read.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRgb>
#include <QString>
#include <QtEndian>

#ifndef VELMO_TEST_SPI_DIR
#error "VELMO_TEST_SPI_DIR is set by tests/spi_plugins/CMakeLists.txt"
#endif

// The built test plug-in of that name.
inline QString TestSpi(const QString& name) {
    return QStringLiteral(VELMO_TEST_SPI_DIR "/") + name + QStringLiteral(".spi");
}

// Copies a test plug-in into a folder under a file name; returns the path.
inline QString CopySpi(const QString& name, const QString& folder, const QString& fileName) {
    QDir().mkpath(folder);
    const QString target = QDir(folder).filePath(fileName);
    QFile::remove(target);
    QFile::copy(TestSpi(name), target);
    return target;
}

enum : quint8 { vtTopDown = 1, vtShortBits = 2 };

// The data the test plug-ins decode: magic, width, height, bit count, flags;
// with a prefix of that many filler bytes in front (a MacBinary header).
inline QByteArray TestPictureData(qint32 width, qint32 height, quint8 bits, quint8 flags = 0,
                                  int prefix = 0, const char* magic = "VTST") {
    QByteArray data(prefix, '\x5a');
    QByteArray header(16, '\0');
    memcpy(header.data(), magic, 4);
    qToLittleEndian<qint32>(width, header.data() + 4);
    qToLittleEndian<qint32>(height, header.data() + 8);
    header[12] = char(bits);
    header[13] = char(flags);
    return data + header;
}

// The colour the test plug-ins give pixel (x, y) at a bit count.
inline QRgb TestPixel(int x, int y, int bits) {
    switch (bits) {
    case 1:
        return ((x + y) & 1) ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    case 4: {
        const int i = (x + y) & 15;
        return qRgb(i * 16, 255 - i * 16, i * 8);
    }
    case 8: {
        const int i = (x + 3 * y) & 255;
        return qRgb(i, i, i);
    }
    default:
        return qRgb(0x80, (y * 16) & 255, (x * 16) & 255);
    }
}

// The peak resident memory of this process since the last reset, in MB.
inline qint64 PeakMb(bool reset) {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (reset && clear.open(QIODevice::WriteOnly))
        clear.write("5");
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
    return -1;
}

// ---- Managers and progress records for the picture tests --------------------

#include "spi/SPIs.h"

#include <QRect>
#include <memory>
#include <utility>
#include <vector>

// A manager holding copies of test plug-ins, added in the order given as
// (plug-in, file name) pairs into the folder.
inline std::unique_ptr<TSPIs> MakeManager(const QString& folder,
                                          std::vector<std::pair<QString, QString>> plugins) {
    auto spis = std::make_unique<TSPIs>();
    for (const auto& [plugin, fileName] : plugins)
        spis->AddPlugin(TSPI::CreatePlugin(CopySpi(plugin, folder, fileName)));
    return spis;
}

struct TProgressRecord {
    int Stage;
    int Percent;
    bool Redraw;
    QRect Rect;
    QString Text;
    bool operator==(const TProgressRecord&) const = default;
};

inline QString Describe(const std::vector<TProgressRecord>& records) {
    QString s;
    for (const auto& r : records)
        s += QStringLiteral("[%1 %2 %3 (%4,%5,%6,%7) \"%8\"]\n")
                 .arg(r.Stage)
                 .arg(r.Percent)
                 .arg(r.Redraw)
                 .arg(r.Rect.left())
                 .arg(r.Rect.top())
                 .arg(r.Rect.width())
                 .arg(r.Rect.height())
                 .arg(r.Text);
    return s;
}

// A progress handler that appends every report to the list.
inline TProgressEvent Recorder(std::vector<TProgressRecord>& records) {
    return [&records](TGraphic*, TProgressStage stage, quint8 percent, bool redraw, const QRect& r,
                      const QString& text) {
        records.push_back({int(stage), int(percent), redraw, r, text});
    };
}
