// JPEG loading speed and memory, against djpeg and a plain libjpeg decode of
// the same file measured in the same run.
//
//   bench_jpeg [runs]
//
// Prints: the baselines, (a) load + display image fitted to 800 x 600, (b)
// load at the actual size, each as a ratio to the baselines, (c) the peak
// memory of showing the picture (measured in a child process per case) as a
// ratio to the decoded picture's size, and (d) what turning a camera picture
// upright by its EXIF orientation adds to the loads (a) and (b), and (e) the
// decode of the part the view shows first at actual size.
#include "bench/BenchSupport.h"
#include "support/JpegWriter.h"
#include "toolkit/JPEGImage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include <jpeglib.h>
#include <sys/resource.h>
#include <time.h>

namespace {

constexpr int PictureWidth = 6000;
constexpr int PictureHeight = 4000;
const QSize ViewSize(800, 600);

// A photo-like 4:2:0 picture: smooth colour fields with noise on top.
QByteArray MakeNoisyJpeg() {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> noise(-24, 24);
    const auto fill = [&](int y, unsigned char* row) {
        for (int x = 0; x < PictureWidth; ++x) {
            const int base[3] = {x * 255 / PictureWidth, y * 255 / PictureHeight,
                                 ((x / 300 + y / 200) % 2) * 120 + 60};
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] =
                    static_cast<unsigned char>(std::clamp(base[c] + noise(random), 0, 255));
        }
    };
    return WriteJpeg(QSize(PictureWidth, PictureHeight), TJpegKind{.Quality = 90}, fill);
}

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    const auto ms = [](const timeval& v) { return v.tv_sec * 1e3 + v.tv_usec / 1e3; };
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6 + ms(children.ru_utime) + ms(children.ru_stime);
}

// One measured case. Wall time suffers when other work shares the machine;
// CPU time (the process's own, or its child's for djpeg) much less so.
struct TCase {
    const char* Name;
    std::function<void()> Body;
    std::function<void()> After = {}; // not timed
    std::vector<double> Wall = {}, Cpu = {};
    double WallMs() const { return Median(Wall); }
    double CpuMsMedian() const { return Median(Cpu); }
};

// Runs the cases in interleaved rounds, so a slow spell of the machine hits
// them all alike.
void Measure(std::vector<TCase*> cases, int runs) {
    for (int round = 0; round < runs; ++round)
        for (TCase* c : cases) {
            QElapsedTimer timer;
            const double cpu = CpuMs();
            timer.start();
            c->Body();
            c->Wall.push_back(double(timer.nsecsElapsed()) / 1e6);
            c->Cpu.push_back(CpuMs() - cpu);
            if (c->After)
                c->After();
        }
}

// What djpeg's decode does in process: full size, RGB rows into one buffer.
void PlainLibjpegDecode(const QByteArray& data) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    std::vector<unsigned char> row(size_t(cinfo.output_width) * cinfo.output_components);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

// The fitted size as the picture view computes it (proportional, 32-bit ratio).
QSize Fitted(QSize natural, QSize view) {
    const float rw = float(view.width()) / float(natural.width());
    const float rh = float(view.height()) / float(natural.height());
    const float s = rw > rh ? rh : rw;
    return QSize(int(natural.width() * double(s)), int(natural.height() * double(s)));
}

// Loads the picture as the view does and returns the image it would show.
QImage LoadForView(const QString& path, bool fitted) {
    TJPEGImage jpeg;
    if (fitted)
        jpeg.SetDecodeHint([](QSize natural) { return Fitted(natural, ViewSize); });
    jpeg.LoadFromFile(path);
    const QSize shown = fitted ? Fitted(QSize(jpeg.Width(), jpeg.Height()), ViewSize)
                               : QSize(jpeg.Width(), jpeg.Height());
    return jpeg.ScaledImage(shown);
}

// Child process: prints the resident size before and the peak after showing.
int RunMemoryChild(const QString& mode, const QString& path) {
    const qint64 before = StatusKb("VmRSS:");
    qint64 peak = 0;
    if (mode == "fitted" || mode == "actual" || mode == "first-view") {
        // The view keeps the picture and its display image while it shows it.
        TJPEGImage jpeg;
        const bool fitted = mode == "fitted";
        if (fitted)
            jpeg.SetDecodeHint([](QSize natural) { return Fitted(natural, ViewSize); });
        if (mode == "first-view")
            jpeg.SetFirstViewHint([](QSize) { return QRect(QPoint(0, 0), ViewSize); });
        jpeg.LoadFromFile(path);
        if (mode == "first-view")
            jpeg.ToImage(); // waits for the rest, decoded in the background
        const QImage shown =
            jpeg.ScaledImage(fitted ? Fitted(QSize(jpeg.Width(), jpeg.Height()), ViewSize)
                                    : QSize(jpeg.Width(), jpeg.Height()));
        peak = StatusKb("VmHWM:");
        std::printf("%lld %lld %lld\n", before, peak, qint64(shown.sizeInBytes() / 1024));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == "--memory")
        return RunMemoryChild(args[2], args[3]);
    const int runs = args.size() > 1 ? qMax(1, args[1].toInt()) : 5;

    QTemporaryDir dir;
    const QString path = dir.filePath("noise-6000x4000.jpg");
    const QByteArray data = MakeNoisyJpeg();
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(data);
    }
    const auto writeTurned = [&](int orientation) {
        const QString turned = dir.filePath(QStringLiteral("turned-%1.jpg").arg(orientation));
        QFile f(turned);
        f.open(QIODevice::WriteOnly);
        f.write(WithApp1(data, ExifOrientation(orientation)));
        return turned;
    };
    const QString quarter = writeTurned(6), half = writeTurned(3);
    const double decodedMb = double(PictureWidth) * PictureHeight * 4 / (1024.0 * 1024.0);
    std::printf("picture: %d x %d, 4:2:0, quality 90, %.1f MB compressed, %.1f MB decoded (RGB32); "
                "median of %d runs\n",
                PictureWidth, PictureHeight, data.size() / (1024.0 * 1024.0), decodedMb, runs);

    const QString djpeg = QStandardPaths::findExecutable("djpeg");
    if (djpeg.isEmpty()) {
        std::printf("djpeg not found (Debian package libjpeg-turbo-progs)\n");
        return 1;
    }
    TCase djpegCase{"baseline djpeg -outfile /dev/null", [&] {
                        QProcess p;
                        p.start(djpeg, {"-outfile", "/dev/null", path});
                        p.waitForFinished(-1);
                    }};
    TCase plainCase{"baseline in-process full libjpeg decode", [&] {
                        QFile f(path);
                        f.open(QIODevice::ReadOnly);
                        PlainLibjpegDecode(f.readAll());
                    }};
    QSize fittedShown;
    TCase fittedCase{"(a) load + display image fitted to 800x600",
                     [&] { fittedShown = LoadForView(path, true).size(); }};
    TCase actualCase{"(b) load at actual size", [&] { LoadForView(path, false); }};
    std::unique_ptr<TJPEGImage> firstView;
    // The 800x600 corner at actual size, the rest left to decode.
    const auto loadFirstView = [&](const QString& file) {
        firstView = std::make_unique<TJPEGImage>();
        firstView->SetFirstViewHint([](QSize) { return QRect(QPoint(0, 0), ViewSize); });
        firstView->LoadFromFile(file);
    };
    TCase firstViewCase{"(e) first view: the 800x600 corner at actual size",
                        [&] { loadFirstView(path); }, [&] { firstView.reset(); }};
    // The same picture progressive: every scan is read before the first
    // row comes out, so its first view saves the rows' work only.
    const QString progressive = dir.filePath("progressive.jpg");
    QProcess::execute(QStandardPaths::findExecutable("jpegtran"),
                      {"-progressive", "-outfile", progressive, path});
    TCase progressiveCase{"(e) progressive: whole, at actual size",
                          [&] { LoadForView(progressive, false); }};
    TCase progressiveFirstCase{"(e) progressive: the 800x600 corner",
                               [&] { loadFirstView(progressive); }, [&] { firstView.reset(); }};
    TCase quarterCase{"(d) load at actual size, turned 90 degrees", [&] {
                          const QImage shown = LoadForView(quarter, false);
                          Q_ASSERT(shown.size() == QSize(PictureHeight, PictureWidth));
                      }};
    TCase halfCase{"(d) load at actual size, turned 180 degrees",
                   [&] { LoadForView(half, false); }};
    TCase fittedQuarterCase{"(d) load fitted, turned 90 degrees",
                            [&] { LoadForView(quarter, true); }};
    Measure({&djpegCase, &plainCase, &fittedCase, &actualCase, &quarterCase, &halfCase,
             &fittedQuarterCase},
            runs);
    // Apart: pictures dropped half decoded, and the progressive decode's
    // large buffers, slow the loads measured after them (the kernel has to
    // gather huge pages again).
    Measure({&djpegCase, &firstViewCase}, runs);
    Measure({&progressiveCase, &progressiveFirstCase}, runs);

    std::printf("%-44s %9s %9s\n", "", "wall ms", "cpu ms");
    for (const TCase* c : {&djpegCase, &plainCase})
        std::printf("%-44s %9.1f %9.1f\n", c->Name, c->WallMs(), c->CpuMsMedian());
    const auto ratios = [&](const TCase& c, const char* goal) {
        std::printf("%-44s %9.1f %9.1f   vs djpeg %5.2fx wall %5.2fx cpu   vs in-process %5.2fx "
                    "wall %5.2fx cpu   (goal %s)\n",
                    c.Name, c.WallMs(), c.CpuMsMedian(), c.WallMs() / djpegCase.WallMs(),
                    c.CpuMsMedian() / djpegCase.CpuMsMedian(), c.WallMs() / plainCase.WallMs(),
                    c.CpuMsMedian() / plainCase.CpuMsMedian(), goal);
    };
    ratios(fittedCase, "<= 1.0x djpeg");
    ratios(actualCase, "<= 1.3x djpeg");
    std::printf("    (a) shows %d x %d; resident after all runs %.1f MB (nothing kept)\n",
                fittedShown.width(), fittedShown.height(), StatusKb("VmRSS:") / 1024.0);

    ratios(firstViewCase, "<= 0.25x djpeg");
    ratios(progressiveCase, "-");
    ratios(progressiveFirstCase, "below the whole progressive decode");
    const auto turning = [](const TCase& turned, const TCase& plain) {
        std::printf(
            "%-44s %9.1f %9.1f   %+6.1f ms wall %+6.1f ms cpu against %s  (%.2fx cpu; goal: "
            "a few tens of ms)\n",
            turned.Name, turned.WallMs(), turned.CpuMsMedian(), turned.WallMs() - plain.WallMs(),
            turned.CpuMsMedian() - plain.CpuMsMedian(), plain.Name,
            turned.CpuMsMedian() / plain.CpuMsMedian());
    };
    turning(quarterCase, actualCase);
    turning(halfCase, actualCase);
    turning(fittedQuarterCase, fittedCase);

    for (const char* mode : {"fitted", "actual", "first-view"}) {
        QProcess child;
        child.start(app.applicationFilePath(), {"--memory", mode, path});
        child.waitForFinished(-1);
        const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
        if (f.size() != 3) {
            std::printf("(c) %s: child failed\n", mode);
            continue;
        }
        const double beforeMb = f[0].toDouble() / 1024, peakMb = f[1].toDouble() / 1024;
        const double grownMb = peakMb - beforeMb;
        std::printf("(c) peak memory showing it, %-7s %8.1f MB above start (peak %.1f MB)  "
                    "%5.2fx decoded size  (goal <= 2x)\n",
                    mode, grownMb, peakMb, grownMb / decodedMb);
    }
    return 0;
}
