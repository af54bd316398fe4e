// Peak memory of showing a small JPEG that hides in a huge file (a 640 x 480
// picture followed by 2.7 GB of padding, as a broken download or a disk image
// with a picture's name can be), against the same picture in a file of its
// own, each loaded as the program loads pictures in a child process of its
// own.
//
//   bench_huge_file [work folder]
//
// The big file is made sparse (ftruncate) in a temporary folder and removed.
#include "bench/BenchSupport.h"
#include "platform/FileName.h"
#include "toolkit/Picture.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr qint64 Padding = qint64(2700) * 1024 * 1024;

// Child: loads the picture; prints resident kB before, peak kB after, the
// picture's size and how many progress reports came.
int RunChild(const QString& path) {
    RegisterBuiltInGraphics();
    const qint64 before = StatusKb("VmRSS:");
    TPicture picture;
    int reports = 0;
    picture.OnProgress = [&](auto&&...) { ++reports; };
    picture.LoadFromFile(path);
    std::printf("%lld %lld %d %d %d\n", before, StatusKb("VmHWM:"), picture.Width(),
                picture.Height(), reports);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == "--load")
        return RunChild(args[2]);

    QTemporaryDir dir(args.size() > 1 ? args[1] + "/velmo-huge-XXXXXX" : QString());
    const QString plain = dir.filePath("plain.jpg");
    const QString padded = dir.filePath("padded.jpg");
    QImage image(640, 480, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x & 255, y & 255, (x * y) & 255));
    if (!image.save(plain, "JPEG", 90) || !QFile::copy(plain, padded)) {
        std::printf("cannot write the pictures in %s\n", qPrintable(dir.path()));
        return 1;
    }
    const qint64 jpegBytes = QFile(plain).size();
    if (::truncate(PathToBytes(padded).constData(), jpegBytes + Padding) != 0) {
        std::printf("cannot make the big file\n");
        return 1;
    }
    const double decodedMb = 640.0 * 480 * 4 / (1024 * 1024);
    std::printf("picture: 640 x 480 JPEG of %lld bytes, decoded %.2f MB (RGB32); padded file "
                "%.2f GB (sparse)\n",
                jpegBytes, decodedMb, (jpegBytes + Padding) / (1024.0 * 1024 * 1024));

    double grown[2] = {0, 0};
    const QString files[2] = {plain, padded};
    const char* names[2] = {"baseline: the picture alone", "the picture + 2.7 GB padding"};
    for (int i = 0; i < 2; ++i) {
        QProcess child;
        child.start(app.applicationFilePath(), {"--load", files[i]});
        child.waitForFinished(-1);
        const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
        if (f.size() != 5) {
            std::printf("%s: the load failed\n", names[i]);
            return 1;
        }
        grown[i] = (f[1].toDouble() - f[0].toDouble()) / 1024;
        std::printf("%-32s peak %7.1f MB, %6.1f MB above start (%5.2fx decoded), %s x %s, "
                    "%s progress reports\n",
                    names[i], f[1].toDouble() / 1024, grown[i], grown[i] / decodedMb,
                    f[2].constData(), f[3].constData(), f[4].constData());
    }
    std::printf("padded against alone: %.2fx the growth (goal: about 1x; peak under 100 MB)\n",
                grown[1] / grown[0]);
    return 0;
}
