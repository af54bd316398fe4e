// PNG decoding through Velmo's PNG plug-in (GetPicture from the file, then the
// bitmap copied into a QImage) against Qt's own PNG reader (QImage::load) on
// the same 6000 x 4000 picture, each the median of several runs, measured in
// this one invocation. Goal: the plug-in within 1.5 times Qt's time.
//
//   build/bench/bench_png_plugin [runs]
#include "spi_plugin.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <vector>

namespace {

// A smooth picture with noise on top, so that it does not compress to nothing.
QImage MakePicture(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    QRandomGenerator random(20261207);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const quint32 n = random.generate();
            line[x] = qRgb((x / 24 + int(n & 15)) & 0xff, (y / 16 + int((n >> 4) & 15)) & 0xff,
                           ((x + y) / 40 + int((n >> 8) & 15)) & 0xff);
        }
    }
    return img;
}

// The plug-in's bitmap as a QImage: bottom-up BGR rows copied top-down.
QImage BitmapToImage(HLOCAL hInfo, HLOCAL hBits) {
    const auto* h = static_cast<const SpiBitmapInfoHeader*>(LocalLock(hInfo));
    const auto* bits = static_cast<const uchar*>(LocalLock(hBits));
    const int w = h->biWidth, hgt = h->biHeight;
    const size_t stride = SpiRowBytes(w, h->biBitCount);
    QImage img(w, hgt, QImage::Format_BGR888);
    for (int y = 0; y < hgt; ++y)
        memcpy(img.scanLine(y), bits + size_t(hgt - 1 - y) * stride, size_t(w) * 3);
    LocalUnlock(hInfo);
    LocalUnlock(hBits);
    return img;
}

int NoProgress(int, int, intptr_t) {
    return 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    const QString pluginPath = QCoreApplication::applicationDirPath() + "/../png.spi";
    void* lib = dlopen(QFile::encodeName(pluginPath).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "cannot load %s: %s\n", qPrintable(pluginPath), dlerror());
        return 1;
    }
    auto getPicture = reinterpret_cast<SPI_GetPicture>(dlsym(lib, "GetPicture"));
    if (!getPicture) {
        fprintf(stderr, "no GetPicture in %s\n", qPrintable(pluginPath));
        return 1;
    }

    QTemporaryDir dir;
    const QString path = dir.filePath("bench.png");
    if (!MakePicture(6000, 4000).save(path, "PNG")) {
        fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const QByteArray name = QFile::encodeName(path);
    printf("picture: 6000 x 4000 RGB PNG, %lld bytes\n", (long long)QFile(path).size());

    std::vector<double> pluginTimes, qtTimes;
    QImage viaPlugin, viaQt;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        HLOCAL hInfo = nullptr, hBits = nullptr;
        const int rc =
            getPicture(name.constData(), 0, SPI_INPUT_FILE, &hInfo, &hBits, &NoProgress, 0);
        if (rc != SPI_SUCCESS) {
            fprintf(stderr, "GetPicture failed: %d\n", rc);
            return 1;
        }
        viaPlugin = BitmapToImage(hInfo, hBits);
        LocalFree(hInfo);
        LocalFree(hBits);
        pluginTimes.push_back(t.nsecsElapsed() / 1e6);

        t.restart();
        viaQt = QImage();
        if (!viaQt.load(path)) {
            fprintf(stderr, "QImage::load failed\n");
            return 1;
        }
        qtTimes.push_back(t.nsecsElapsed() / 1e6);
    }
    if (viaPlugin.convertToFormat(QImage::Format_RGB32) !=
        viaQt.convertToFormat(QImage::Format_RGB32)) {
        fprintf(stderr, "the plug-in's picture differs from Qt's\n");
        return 1;
    }
    const double plugin = Median(pluginTimes), qt = Median(qtTimes);
    printf("plug-in GetPicture + QImage: %8.1f ms (median of %d)\n", plugin, runs);
    printf("Qt QImage::load:             %8.1f ms (median of %d)\n", qt, runs);
    printf("ratio plug-in / Qt:          %8.2f (goal <= 1.50)\n", plugin / qt);
    dlclose(lib);
    return 0;
}
