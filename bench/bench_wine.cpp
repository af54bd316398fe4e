// Windows plug-ins through the hosts under Wine against the same plug-in
// built natively (both from tests/spi_plugins/testspi.c):
//  - the first picture through a warm host (started, the plug-in loaded);
//  - a 6000x4000 picture: the time over the plug-in's own decode;
//  - the program's start with Windows plug-ins (known from an earlier
//    start) against the start without them.
// Needs Wine and a build with mingw-w64; the first run makes the Wine
// prefix under $XDG_CACHE_HOME/velmo/wine.
#include "app/Preloader.h"
#include "bench/BenchWindow.h"
#include "spi/SPIWine.h"
#include "spi/SPIs.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstdio>

namespace {

QString BuildDir() {
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/..")).canonicalPath();
}

QString TestSpi(const QString& name) {
    return BuildDir() + QStringLiteral("/tests/spi_plugins/") + name;
}

// The test plug-ins' picture: "VTST", width, height, bit count, flags.
QString WritePicture(const QString& path, qint32 w, qint32 h, quint8 flags = 0) {
    QByteArray data(16, '\0');
    memcpy(data.data(), "VTST", 4);
    qToLittleEndian<qint32>(w, data.data() + 4);
    qToLittleEndian<qint32>(h, data.data() + 8);
    data[12] = 24;
    data[13] = char(flags);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(data);
    return path;
}

struct TLoadTimes {
    double Load = 0;   // the whole load, as the program does it
    double Decode = 0; // the plug-in's own GetPicture, in its process
};

// Median milliseconds of loading the picture through the only plug-in of
// the folder; the first load (host start, plug-in load) is not counted.
TLoadTimes LoadTime(const QString& pluginFile, const QString& picture, int runs) {
    TSPIs spis;
    spis.SearchPlugins(pluginFile);
    auto* plugin = dynamic_cast<TInSPI*>(spis.Plugins(0));
    std::vector<double> loads, decodes;
    for (int i = 0; i <= runs; ++i) {
        {
            TSPIBitmap bitmap;
            QElapsedTimer t;
            t.start();
            bitmap.LoadFromFile(picture);
            if (i > 0)
                loads.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        if (i == 0)
            continue;
        if (plugin->Remote()) {
            decodes.push_back(plugin->Remote()->LastDecodeMs());
            continue;
        }
        HLOCAL info = nullptr, bits = nullptr;
        QElapsedTimer t;
        t.start();
        plugin->GetPicture(
            QFile::encodeName(picture).constData(), 0, 0, &info, &bits,
            [](int, int, intptr_t) { return 0; }, 0);
        decodes.push_back(double(t.nsecsElapsed()) / 1e6);
        LocalFree(info);
        LocalFree(bits);
    }
    return {Median(loads), Median(decodes)};
}

// Median milliseconds of making the main window with the plug-ins of each
// folder in the plug-in path (no host running before each start). The two
// take turns, so that a machine busier for a while weighs on both alike.
std::pair<double, double> StartTimes(const QString& work, const QString& first,
                                     const QString& second, int runs) {
    QDir().mkpath(work + QStringLiteral("/config/Mirabo"));
    std::vector<double> times[2];
    for (int i = 0; i <= runs; ++i)
        for (int which = 0; which < 2; ++which) {
            QFile conf(work + QStringLiteral("/config/Mirabo/Susie.conf"));
            conf.open(QIODevice::WriteOnly);
            conf.write("[Plug-in]\nPath=" + QFile::encodeName(which ? second : first) + "\n");
            conf.close();
            WinePlugins().StopHosts();
            QElapsedTimer t;
            t.start();
            {
                TBenchWindow window;
                if (i > 0)
                    times[which].push_back(double(t.nsecsElapsed()) / 1e6);
            }
        }
    return {Median(times[0]), Median(times[1])};
}

} // namespace

int main(int argc, char* argv[]) {
    KeepPictureMemory(); // as the program does
    QTemporaryDir work;
    PrepareBenchProgram(work.path());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work.path() + QStringLiteral("/config")));
    QApplication app(argc, argv);
    TWinePlugins& wine = WinePlugins();
    wine.Setup.HostDir = BuildDir();
    wine.Setup.CacheDir = work.path() + QStringLiteral("/cache");
    if (!wine.HasLoader(32) || !wine.HasLoader(64) || !QFile::exists(TestSpi("vt_win64.sph"))) {
        std::fprintf(stderr, "needs Wine (scripts/install-deps.sh --wine) and mingw-w64\n");
        return 1;
    }
    const QString dir = work.path();
    for (const char* name : {"vt_in.spi", "vt_win32.spi", "vt_win64.sph"}) {
        QDir().mkpath(dir + "/only/" + name);
        QFile::copy(TestSpi(name), dir + "/only/" + name + "/" + name);
    }
    std::printf("making the Wine prefix if needed and asking the plug-ins...\n");
    wine.Probe(dir + "/only/vt_win32.spi/vt_win32.spi", 32);
    wine.Probe(dir + "/only/vt_win64.sph/vt_win64.sph", 64);

    const QString small = WritePicture(dir + "/small.vtp", 1920, 1080);
    const QString large = WritePicture(dir + "/large.vtp", 6000, 4000);
    const double nativeSmall = LoadTime(dir + "/only/vt_in.spi/*.spi", small, 9).Load;
    const double remoteSmall = LoadTime(dir + "/only/vt_win64.sph/*.sph", small, 9).Load;
    const double remote32Small = LoadTime(dir + "/only/vt_win32.spi/*.spi", small, 9).Load;
    std::printf("1920x1080 through a warm host: native %.1f ms, 64-bit host %.1f ms (%.2fx), "
                "32-bit host %.1f ms (%.2fx); target at most 1.5x\n",
                nativeSmall, remoteSmall, remoteSmall / nativeSmall, remote32Small,
                remote32Small / nativeSmall);

    // The plug-in's own GetPicture runs at its own speed in each process;
    // what the host adds is the rest of the load beyond it.
    const TLoadTimes nativeLarge = LoadTime(dir + "/only/vt_in.spi/*.spi", large, 7);
    const TLoadTimes remoteLarge = LoadTime(dir + "/only/vt_win64.sph/*.sph", large, 7);
    std::printf("6000x4000 through the 64-bit host: %.1f ms against %.1f ms native (%.1f ms "
                "more); the plug-in's GetPicture took %.1f ms under Wine against %.1f ms "
                "here; over the decode: %.1f ms; target at most 25 ms\n",
                remoteLarge.Load, nativeLarge.Load, remoteLarge.Load - nativeLarge.Load,
                remoteLarge.Decode, nativeLarge.Decode,
                (remoteLarge.Load - remoteLarge.Decode) - (nativeLarge.Load - nativeLarge.Decode));
    // The same with the pixels left blank: the plug-in hardly works.
    const QString blank = WritePicture(dir + "/blank.vtp", 6000, 4000, 32);
    const double nativeBlank = LoadTime(dir + "/only/vt_in.spi/*.spi", blank, 5).Load;
    const double remoteBlank = LoadTime(dir + "/only/vt_win64.sph/*.sph", blank, 5).Load;
    // For scale: one copy of the pixels in this process, on this machine now.
    std::vector<double> copies;
    {
        QByteArray from(6000 * 4000 * 3, '\1'), to(from.size(), '\0');
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer t;
            t.start();
            memcpy(to.data(), from.constData(), size_t(from.size()));
            copies.push_back(double(t.nsecsElapsed()) / 1e6);
        }
    }
    std::printf("6000x4000 left blank by the plug-in: %.1f ms through the host against %.1f ms "
                "native: %.1f ms more (one copy of the 72 MB of pixels here: %.1f ms; the "
                "way through is one such copy)\n",
                remoteBlank, nativeBlank, remoteBlank - nativeBlank, Median(copies));

    QDir().mkpath(dir + "/with");
    for (const char* name : {"vt_in.spi", "vt_win32.spi", "vt_win64.sph"})
        QFile::copy(dir + "/only/" + name + "/" + name, dir + "/with/" + name);
    wine.Probe(dir + "/with/vt_win32.spi", 32);
    wine.Probe(dir + "/with/vt_win64.sph", 64);
    const auto [without, with] = StartTimes(dir, dir + "/only/vt_in.spi", dir + "/with", 15);
    std::printf("start (main window shown): without Windows plug-ins %.1f ms, with two "
                "(known, hosts starting in the background) %.1f ms (%.2fx); target at most 1x\n",
                without, with, with / without);
    wine.StopHosts();
    return 0;
}
