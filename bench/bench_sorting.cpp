// Sorting-loop benchmarks, each against a baseline measured in the same run:
//  1. scanning a folder of 100,000 pictures into the file list, against the
//     sorted `ls` of that folder;
//  2. a digit key in move mode until the next 6000 x 4000 JPEG is shown
//     fitted, against a full `djpeg` decode of that file.
// Usage: bench_sorting [work folder]   (default: a temporary folder)
#include "app/DispExt.h"
#include "app/ImageView.h"
#include "app/Main.h"
#include "bench/BenchWindow.h"
#include "platform/MessageBox.h"
#include "settings/Settings.h"
#include "spi/SPIBmp.h"
#include "toolkit/Fonts.h"
#include "toolkit/Picture.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void MakeFolderOf100k(const QString& dir) {
    QDir().mkpath(dir);
    QByteArray tiny;
    {
        QBuffer b(&tiny);
        b.open(QIODevice::WriteOnly);
        QImage(8, 8, QImage::Format_RGB32).save(&b, "JPEG");
    }
    for (int i = 0; i < 100000; ++i) {
        QFile f(dir + QStringLiteral("/pic%1.jpg").arg(i, 6, 10, QLatin1Char('0')));
        if (f.open(QIODevice::WriteOnly))
            f.write(tiny);
    }
}
} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir temp;
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    PrepareBenchProgram(work);
    QApplication app(argc, argv);
    TBenchWindow window;
    TfrmVelmo& form = window.form();

    // 1. Folder scan.
    const QString big = work + QStringLiteral("/big");
    if (!QFileInfo::exists(big + QStringLiteral("/pic099999.jpg"))) {
        std::printf("making 100,000 files...\n");
        MakeFolderOf100k(big);
    }
    const double ls = TimeCommand(QStringLiteral("ls '%1' >/dev/null").arg(big), 5);
    std::vector<double> scans;
    for (int i = 0; i < 5; ++i) {
        IniRec.CurrentPath = big;
        QElapsedTimer t;
        t.start();
        form.ScanFolder(big);
        scans.push_back(t.nsecsElapsed() / 1e6);
    }
    const double scan = Median(scans);
    std::printf(
        "scan 100,000 files: %.1f ms; sorted ls: %.1f ms; ratio %.2fx (goal <= 2x); %d listed\n",
        scan, ls, scan / ls, form.lstFile->count());

    // 2. Digit key in move mode to the next picture shown.
    const QString pics = work + QStringLiteral("/pics");
    const QString out = work + QStringLiteral("/out");
    QDir().mkpath(pics);
    QDir().mkpath(out);
    const int runs = 5;
    for (int i = 0; i <= runs; ++i) {
        const QString name = QStringLiteral("/%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
        // Pictures moved by an earlier run come back; missing ones are made.
        if (QFile::exists(out + name))
            QFile::rename(out + name, pics + name);
        if (!QFile::exists(pics + name)) {
            std::printf("making %s (6000x4000)...\n", qPrintable(name));
            MakeNoisyJpeg(pics + name, i % 2 ? qRgb(201, 17, 133) : qRgb(163, 201, 17));
        }
    }
    const double djpeg =
        TimeCommand(QStringLiteral("djpeg -outfile /dev/null '%1/01.jpg'").arg(pics), 5);
    IniRec.Mode = 1;
    IniRec.Move = 0;
    IniRec.OverWrite = 0;
    IniRec.DispSize = 1;
    IniRec.Proportional = 1;
    IniRec.Zoom = 0;
    OutFolders[0].Path = out;
    form.ApplySettings();
    IniRec.CurrentPath = pics;
    form.OpenFolder(pics);
    std::vector<double> keys;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        form.FormShortCut(Qt::Key_0, 0, Qt::NoModifier);
        form.imgMain->repaint();
        keys.push_back(t.nsecsElapsed() / 1e6);
    }
    const double key = Median(keys);
    std::printf("digit key to next picture shown: %.1f ms; djpeg full decode: %.1f ms; ratio %.2fx "
                "(goal <= 1.2x)\n",
                key, djpeg, key / djpeg);
    return 0;
}
