// A picture sorted with its companions against the picture alone: a digit
// key in move mode until the next 6000 x 4000 JPEG is shown fitted, once for
// JPEGs alone and once for JPEGs each with a raw file, a sidecar and a clip
// beside it (a group of four), in the same folder and the same run.
// Usage: bench_groups [work folder]   (default: a temporary folder)
#include "app/ImageView.h"
#include "app/Main.h"
#include "bench/BenchWindow.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

namespace {
const int kRuns = 5;
const char* const kCompanions[] = {".CR2", ".xmp", ".MOV"};

QString Name(int i) {
    return QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
}

// Brings every file back from the output folder; with `companions`, each
// picture gets its raw file, sidecar and clip (made once).
void Prepare(const QString& pics, const QString& out, bool companions) {
    for (const QString& name : QDir(out).entryList(QDir::Files))
        QFile::rename(out + '/' + name, pics + '/' + name);
    for (int i = 0; i <= kRuns; ++i) {
        const QString stem = pics + '/' + Name(i);
        if (!QFile::exists(stem + ".jpg")) {
            std::printf("making %s.jpg (6000x4000)...\n", qPrintable(Name(i)));
            MakeNoisyJpeg(stem + ".jpg", i % 2 ? qRgb(201, 17, 133) : qRgb(163, 201, 17));
        }
        for (const char* ext : kCompanions) {
            QFile f(stem + QLatin1String(ext));
            if (!companions) {
                f.remove();
            } else if (!f.exists() && f.open(QIODevice::WriteOnly)) {
                // A raw file of a typical size; the others smaller.
                f.resize(QLatin1String(ext) == ".CR2" ? 25 << 20 : 4 << 10);
            }
        }
    }
}

double KeyToNextShown(TfrmVelmo& form, const QString& pics) {
    IniRec.CurrentPath = pics;
    form.OpenFolder(pics);
    std::vector<double> keys;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        form.FormShortCut(Qt::Key_0, 0, Qt::NoModifier);
        form.imgMain->repaint();
        keys.push_back(t.nsecsElapsed() / 1e6);
    }
    return Median(keys);
}
} // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir temp;
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    PrepareBenchProgram(work);
    QApplication app(argc, argv);
    TBenchWindow window;
    TfrmVelmo& form = window.form();

    const QString pics = work + QStringLiteral("/group-pics");
    const QString out = work + QStringLiteral("/group-out");
    QDir().mkpath(pics);
    QDir().mkpath(out);
    IniRec.Mode = 1;
    IniRec.Move = 0;
    IniRec.OverWrite = 0;
    IniRec.DispSize = 1;
    IniRec.Proportional = 1;
    IniRec.Group = 1;
    OutFolders[0].Path = out;
    form.ApplySettings();
    // Alone and grouped in turn, twice, so neither gains from a warm cache.
    std::vector<double> alone;
    std::vector<double> grouped;
    for (int round = 0; round < 2; ++round) {
        Prepare(pics, out, false);
        alone.push_back(KeyToNextShown(form, pics));
        Prepare(pics, out, true);
        grouped.push_back(KeyToNextShown(form, pics));
    }
    const int moved = int(QDir(out).entryList(QDir::Files).size());
    const double a = Median(alone);
    const double g = Median(grouped);
    std::printf("digit key to next picture shown: picture alone %.1f ms; group of four %.1f ms "
                "(%d files moved by %d keys); ratio %.2fx (goal <= 1.3x)\n",
                a, g, moved, kRuns, g / a);
    Prepare(pics, out, false);
    return 0;
}
