// The key that shows the next picture, with the picture decoded ahead and
// without, each against baselines measured in the same run:
//  1. a digit key in move mode to the next 6000 x 4000 JPEG drawn, pressed
//     the moment the picture is on screen and after 2 s on screen, fitted and
//     at actual size; the same key with nothing decoded ahead (the key as it
//     was before pictures were decoded ahead) and djpeg at full and 1/8 size;
//  2. peak memory while 200 such pictures are sorted fitted by a held key,
//     against the program's base and one fitted picture on screen.
// Usage: bench_preload [work folder] [runs] [only]   (default: a temporary
// folder, 7; "only" = "actual" measures only the actual size without
// decoding ahead)
#include "app/ImageView.h"
#include "app/Main.h"
#include "app/Preloader.h"
#include "bench/BenchWindow.h"
#include "platform/MessageBox.h"
#include "settings/Settings.h"
#include "spi/SPIBmp.h"
#include "toolkit/Fonts.h"
#include "toolkit/Picture.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Resident and peak resident memory of this process, in MiB.
double StatusMiB(const char* field) {
    return double(StatusKb(field)) / 1024.0;
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A folder of n pictures: links to two made pictures of different colours.
void Fill(const QString& work, const QString& dir, int n) {
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    const QString a = work + QStringLiteral("/A.jpg"), b = work + QStringLiteral("/B.jpg");
    if (!QFile::exists(a)) {
        std::printf("making two 6000x4000 pictures...\n");
        MakeNoisyJpeg(a, qRgb(201, 17, 133));
        MakeNoisyJpeg(b, qRgb(163, 201, 17));
    }
    for (int i = 0; i < n; ++i)
        ::link(QFile::encodeName(i % 2 ? b : a).constData(),
               QFile::encodeName(dir + QStringLiteral("/%1.jpg").arg(i, 3, 10, QLatin1Char('0')))
                   .constData());
}

struct TKeyTimes {
    double Now = 0, Later = 0;
};

// Sorts the folder with the digit key: half the keys the moment the picture
// is drawn, half after 2 s. Ahead: whether pictures decoded ahead may be used.
TKeyTimes SortKeys(TfrmVelmo& form, const QString& work, int dispSize, bool ahead, int runs) {
    const QString pics = work + QStringLiteral("/pics"), out = work + QStringLiteral("/out");
    Fill(work, pics, 2 * runs + 2);
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    form.Preloads().SetEnabled(ahead);
    IniRec.DispSize = dispSize;
    form.ApplySettings();
    IniRec.CurrentPath = pics;
    form.OpenFolder(pics);
    form.imgMain->repaint();
    std::vector<double> now, later;
    for (int i = 0; i < 2 * runs; ++i) {
        const bool wait = i % 2 == 1;
        if (wait)
            Wait(2000);
        QElapsedTimer t;
        t.start();
        form.FormShortCut(Qt::Key_0, 0, Qt::NoModifier);
        form.imgMain->repaint();
        (wait ? later : now).push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return {Median(now), Median(later)};
}
} // namespace

int main(int argc, char* argv[]) {
    // As the program does; "VELMO_BENCH_FREE=1" leaves the C library's
    // default to show what it costs.
    if (qgetenv("VELMO_BENCH_FREE") != "1")
        KeepPictureMemory();
    QTemporaryDir temp;
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 7;
    const bool onlyActual = argc > 3 && QByteArray(argv[3]) == "actual";
    PrepareBenchProgram(work);
    QApplication app(argc, argv);
    TBenchWindow window;
    TfrmVelmo& form = window.form();
    const double base = StatusMiB("VmRSS:");

    IniRec.Mode = 1;
    IniRec.Move = 0;
    IniRec.OverWrite = 0;
    IniRec.Proportional = 1;
    IniRec.Zoom = 0;
    OutFolders[0].Path = work + QStringLiteral("/out");
    Fill(work, work + QStringLiteral("/pics"), 2);
    const QString a = work + QStringLiteral("/A.jpg");
    const double djpeg = TimeCommand(QStringLiteral("djpeg -outfile /dev/null '%1'").arg(a), 5);
    const double djpeg8 =
        TimeCommand(QStringLiteral("djpeg -scale 1/8 -outfile /dev/null '%1'").arg(a), 5);
    std::printf("baselines: djpeg %.1f ms, djpeg -scale 1/8 %.1f ms (medians of 5)\n", djpeg,
                djpeg8);

    if (onlyActual) {
        const TKeyTimes fresh = SortKeys(form, work, 0, false, runs);
        std::printf("actual size, not ahead: at once %.1f ms, after 2 s %.1f ms\n", fresh.Now,
                    fresh.Later);
        return 0;
    }

    // 2. Memory: one fitted picture on screen, then 200 sorted by a held key
    // (one key every 33 ms, as a key repeats).
    const QString pics = work + QStringLiteral("/pics");
    IniRec.DispSize = 1;
    form.ApplySettings();
    Fill(work, pics, 200);
    IniRec.CurrentPath = pics;
    form.Preloads().SetEnabled(false);
    form.OpenFolder(pics);
    form.imgMain->repaint();
    const double one = StatusMiB("VmRSS:");
    form.Preloads().SetEnabled(true);
    form.FitPicture(); // asks for the pictures around it
    ResetPeak();
    QElapsedTimer sortTime;
    sortTime.start();
    while (form.lstFile->count() > 0) {
        form.FormShortCut(Qt::Key_0, 0, Qt::NoModifier);
        form.imgMain->repaint();
        Wait(33);
    }
    const double peak = StatusMiB("VmHWM:");
    std::printf("memory, 200 pictures sorted fitted in %.1f s: base %.1f MiB, one picture "
                "shown %.1f MiB (+%.1f), peak while sorting %.1f MiB (+%.1f); peak over base "
                "is %.2fx one picture's (goal < 3x)\n",
                double(sortTime.elapsed()) / 1000.0, base, one, one - base, peak, peak - base,
                (peak - base) / std::max(0.1, one - base));

    for (const int dispSize : {1, 0}) {
        const TKeyTimes fresh = SortKeys(form, work, dispSize, false, runs);
        const TKeyTimes ahead = SortKeys(form, work, dispSize, true, runs);
        const char* mode = dispSize ? "fitted" : "actual size";
        std::printf("%s, digit key to next picture drawn (medians of %d):\n", mode, runs);
        std::printf("  at once:   decoded ahead %6.1f ms, not ahead %6.1f ms; ratio %.2fx\n",
                    ahead.Now, fresh.Now, ahead.Now / fresh.Now);
        std::printf("  after 2 s: decoded ahead %6.1f ms, not ahead %6.1f ms; ratio %.2fx "
                    "(goal <= 20 ms)\n",
                    ahead.Later, fresh.Later, ahead.Later / fresh.Later);
        std::printf("  not ahead, after 2 s / at once: %.2fx; djpeg %s: %.1f ms\n",
                    fresh.Later / fresh.Now, dispSize ? "-scale 1/8" : "full",
                    dispSize ? djpeg8 : djpeg);
    }

    return 0;
}
