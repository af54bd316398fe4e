// The file list's thumbnails and date order against the plain name list:
// a large folder's first picture, all of its dates, a screenful of
// thumbnails from an empty and from a warm cache.
//   bench_list_look [work folder] [files]       the figures
//   bench_list_look --shots <folder>            2,000 pictures of two cameras
//                                               and a phone, for a look by hand
#include "app/ImageView.h"
#include "app/ThumbnailList.h"
#include "bench/BenchWindow.h"
#include "support/JpegWriter.h"
#include "toolkit/Thumbnails.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QListWidget>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimeZone>

namespace {
void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

QByteArray ExifDate(const QDateTime& t, int subSec, const char* offset) {
    return ExifTakenBlock(t.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1(),
                          QByteArray::number(subSec), offset);
}

// Two cameras and a phone at one afternoon's events: each shoots its own
// runs, so by name they stand apart and by date they interleave.
void MakeShots(const QString& folder, int count) {
    QDir().mkpath(folder);
    struct TSource {
        const char* Prefix;
        const char* Label;
        QColor Colour;
        const char* Offset;
    } sources[] = {{"DSC_", "camera A", QColor(200, 60, 60), "+09:00"},
                   {"IMG_", "camera B", QColor(60, 140, 200), "+09:00"},
                   {"PXL_", "phone", QColor(80, 170, 90), "+09:00"}};
    const QDateTime start(QDate(2025, 4, 12), QTime(13, 0), QTimeZone(9 * 3600));
    for (int i = 0; i < count; ++i) {
        const TSource& s = sources[(i / 7 + i) % 3];
        const QDateTime t = start.addSecs(i * 9);
        QImage img(320, 240, QImage::Format_RGB32);
        img.fill(s.Colour.lighter(100 + (i % 40)));
        QPainter p(&img);
        p.setPen(Qt::white);
        QFont font = p.font();
        font.setPixelSize(30);
        p.setFont(font);
        p.drawText(img.rect(), Qt::AlignCenter,
                   QStringLiteral("%1\n%2").arg(s.Label, t.toString(QStringLiteral("HH:mm:ss"))));
        p.end();
        const QString name = QStringLiteral("%1%2.JPG")
                                 .arg(s.Prefix)
                                 .arg(1000 + i * 3 % 2000 + i / 2000, 4, 10, QLatin1Char('0'));
        Write(folder + '/' + name, WithApp1(JpegOf(img, 80), ExifDate(t, i % 100, s.Offset)));
    }
}

void Pump(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Milliseconds from opening the folder to its first picture on screen.
double FirstPicture(TfrmVelmo& form, const QString& pics) {
    QElapsedTimer t;
    t.start();
    form.OpenFolder(pics);
    form.imgMain->repaint();
    form.lstFile->repaint();
    return double(t.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char* argv[]) {
    if (argc > 2 && QByteArray(argv[1]) == "--shots") {
        QGuiApplication app(argc, argv);
        MakeShots(QString::fromLocal8Bit(argv[2]), 2000);
        return 0;
    }
    QTemporaryDir temp;
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    const int files = argc > 2 ? std::max(10, atoi(argv[2])) : 20000;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(work + QStringLiteral("/cache")));
    PrepareBenchProgram(work);
    QApplication app(argc, argv);

    // A large folder of small dated pictures.
    const QString pics = work + QStringLiteral("/pics");
    QDir().mkpath(pics);
    const QByteArray small = JpegOf(Gradient(QSize(160, 120)), 80);
    const QDateTime start(QDate(2025, 4, 12), QTime(13, 0), QTimeZone(9 * 3600));
    for (int i = 0; i < files; ++i)
        Write(pics + QStringLiteral("/p%1.jpg").arg(i, 6, 10, QLatin1Char('0')),
              WithApp1(small, ExifDate(start.addSecs((i * 7919) % files), i % 100, "+09:00")));

    TBenchWindow window;
    TfrmVelmo& form = window.form();
    IniRec.CurrentPath = pics;
    IniRec.DispSize = 1;
    IniRec.Proportional = 1;
    form.ApplySettings();
    std::vector<double> names, thumbs, dated, allDates;
    for (int run = 0; run < 5; ++run) {
        IniRec.Thumbnails = 0, IniRec.Order = 0;
        names.push_back(FirstPicture(form, pics));
        IniRec.Thumbnails = 1;
        thumbs.push_back(FirstPicture(form, pics));
        Pump([&] { return form.Thumbs->Pending() == 0; }, 10000);
        IniRec.Thumbnails = 0, IniRec.Order = 1;
        QElapsedTimer t;
        t.start();
        dated.push_back(FirstPicture(form, pics));
        Pump([&] { return form.OrderSettled(); }, 20000);
        allDates.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const double n = Median(names), th = Median(thumbs), d = Median(dated);
    std::printf("%d files, first picture (median of 5): names %.1f ms, thumbnails %.1f ms "
                "(%.2fx), date order %.1f ms (%.2fx); all dates read and settled %.0f ms\n",
                files, n, th, th / n, d, d / n, Median(allDates));

    // A screenful of 30 thumbnails of 24 MP pictures, from an empty and a
    // warm cache, one after another as the list's thread makes them.
    const QString big = work + QStringLiteral("/big");
    QDir().mkpath(big);
    MakeNoisyJpeg(big + QStringLiteral("/b00.jpg"), qRgb(120, 90, 60));
    for (int i = 1; i < 30; ++i)
        QFile::copy(big + QStringLiteral("/b00.jpg"),
                    big + QStringLiteral("/b%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
    const double djpeg8 =
        TimeCommand(QStringLiteral("djpeg -scale 1/8 -outfile /dev/null '%1/b00.jpg'").arg(big), 5);
    QDir(work + QStringLiteral("/cache")).removeRecursively();
    QElapsedTimer t;
    t.start();
    int made = 0;
    for (int i = 0; i < 30; ++i)
        made += !ThumbnailFor(big + QStringLiteral("/b%1.jpg").arg(i, 2, 10, QLatin1Char('0')))
                     .isNull();
    const double cold = double(t.nsecsElapsed()) / 1e6;
    t.restart();
    for (int i = 0; i < 30; ++i)
        made += !ThumbnailFor(big + QStringLiteral("/b%1.jpg").arg(i, 2, 10, QLatin1Char('0')))
                     .isNull();
    const double warm = double(t.nsecsElapsed()) / 1e6;
    std::printf("30 thumbnails of 24 MP JPEGs (%d made): empty cache %.0f ms (baseline 30 x djpeg "
                "-scale 1/8: %.0f ms, %.2fx), warm cache %.1f ms\n",
                made, cold, 30 * djpeg8, cold / (30 * djpeg8), warm);
    std::printf("memory: %lld kB resident, %d thumbnails held (at most %d)\n", StatusKb("VmRSS:"),
                form.Thumbs->Held(), TThumbnailList::Kept);
    return 0;
}
