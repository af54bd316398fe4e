// A camera RAW file shown through Velmo's RAW plug-in against a full demosaic
// of the same file by LibRaw (its default interpolation, 8-bit output, the
// camera's white balance), both measured in this one invocation on a 6000 x
// 4000 DNG written here with a full-size JPEG preview. Also: the same raw data
// without a preview, which the plug-in demosaics at half size. Goal: the file
// with a preview at most 0.25 times the full demosaic.
//
//   build/bench/bench_raw_plugin [runs] [work folder]
#include "spi_plugin.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <functional>
#include <libraw/libraw.h>
#include <vector>

namespace {

double MedianMs(int runs, const std::function<bool()>& step) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        if (!step())
            return -1;
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool FullDemosaic(const QByteArray& path) {
    libraw_data_t* lr = libraw_init(0);
    lr->params.use_camera_wb = 1;
    lr->params.output_bps = 8;
    bool ok = libraw_open_file(lr, path.constData()) == LIBRAW_SUCCESS &&
              libraw_unpack(lr) == LIBRAW_SUCCESS && libraw_dcraw_process(lr) == LIBRAW_SUCCESS;
    int error = 0;
    libraw_processed_image_t* img = ok ? libraw_dcraw_make_mem_image(lr, &error) : nullptr;
    ok = img != nullptr;
    libraw_dcraw_clear_mem(img);
    libraw_close(lr);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QTemporaryDir work(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/raw-XXXXXX")
                                : QDir::tempPath() + QStringLiteral("/velmo-bench-raw-XXXXXX"));
    const QString dir = QCoreApplication::applicationDirPath();
    const QString withPreview = work.filePath(QStringLiteral("preview.dng"));
    const QString without = work.filePath(QStringLiteral("raw-only.dng"));
    const QString maker = dir + QStringLiteral("/velmo_make_dng");
    if (QProcess::execute(maker, {QStringLiteral("6000x4000"), withPreview}) != 0 ||
        QProcess::execute(
            maker, {QStringLiteral("--no-preview"), QStringLiteral("6000x4000"), without}) != 0) {
        std::fprintf(stderr, "cannot write the DNG files with %s\n", qPrintable(maker));
        return 1;
    }
    void* plugin = dlopen(QFile::encodeName(dir + QStringLiteral("/../raw.spi")).constData(),
                          RTLD_NOW | RTLD_LOCAL);
    auto getPicture =
        plugin ? reinterpret_cast<SPI_GetPicture>(dlsym(plugin, "GetPicture")) : nullptr;
    if (!getPicture) {
        std::fprintf(stderr, "cannot load raw.spi beside the program: %s\n", dlerror());
        return 1;
    }
    auto throughPlugin = [&](const QString& file) {
        return [&, name = QFile::encodeName(file)] {
            HLOCAL info = nullptr, bits = nullptr;
            const int rc =
                getPicture(name.constData(), 0, SPI_INPUT_FILE, &info, &bits, nullptr, 0);
            LocalFree(info);
            LocalFree(bits);
            return rc == SPI_SUCCESS;
        };
    };

    std::printf("6000x4000 DNG (%lld MB with its preview), median of %d runs, LibRaw %s\n",
                QFile(withPreview).size() >> 20, runs, libraw_version());
    const double full =
        MedianMs(runs, [&] { return FullDemosaic(QFile::encodeName(withPreview)); });
    const double preview = MedianMs(runs, throughPlugin(withPreview));
    const double half = MedianMs(runs, throughPlugin(without));
    std::printf("full demosaic (baseline)        %9.1f ms\n", full);
    std::printf("plug-in, embedded JPEG preview  %9.1f ms  %.3fx  (goal <= 0.25x)\n", preview,
                preview / full);
    std::printf("plug-in, half-size demosaic     %9.1f ms  %.3fx\n", half, half / full);
    return full > 0 && preview > 0 && half > 0 ? 0 : 1;
}
