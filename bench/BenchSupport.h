#pragma once
// What the benchmarks share: medians, timing a shell command, and the large
// noisy photograph they sort, and the process's memory figures.
#include "platform/PlatformServices.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <vector>

// The system's services, but an error box is printed: a benchmark runs
// unattended.
class TBenchPlatform : public TLinuxPlatform {
public:
    void ErrorBox(const QString& text) override {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
};

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median wall time of a shell command, in milliseconds.
inline double TimeCommand(const QString& shell, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), shell});
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return Median(times);
}

// A 6000x4000 JPEG of one colour with noise, so it does not compress away.
inline void MakeNoisyJpeg(const QString& path, QRgb base) {
    QImage img(6000, 4000, QImage::Format_RGB32);
    auto* rng = QRandomGenerator::global();
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int n = int(rng->bounded(30)) - 15;
            line[x] = qRgb(qBound(0, qRed(base) + n, 255), qBound(0, qGreen(base) + n, 255),
                           qBound(0, qBlue(base) + n, 255));
        }
    }
    img.save(path, "JPEG", 90);
}

// A figure of /proc/self/status ("VmRSS:", "VmHWM:"), in kB; -1 when unknown.
inline qint64 StatusKb(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLongLong();
    return -1;
}

// The baseline of the tree's benchmarks: a folder's subfolders counted by
// readdir and d_type, the dot entries and hidden folders left out.
inline int PlainListing(const QByteArray& folder) {
    DIR* dir = opendir(folder.constData());
    if (!dir)
        return 0;
    int count = 0;
    while (const dirent* entry = readdir(dir))
        if (entry->d_type == DT_DIR && entry->d_name[0] != '.')
            ++count;
    closedir(dir);
    return count;
}
