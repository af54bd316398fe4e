// What the undo journal adds to one move: the sorting's move of a picture
// with its step written and flushed to the journal, against the same move
// alone, in the same run and on the same disk; also a copy with its content
// hash against the copy alone.
// Usage: bench_journal [work folder]   (default: a folder under the working folder)
#include "BenchSupport.h"
#include "history/FileSteps.h"
#include "platform/FileCopy.h"
#include "platform/FileMove.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

namespace {
struct TQuiet : TStepQuestions {
    bool AskOverwrite(const QString&, bool) override { return true; }
    void Refuse(const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    void Note(const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
};

// Median milliseconds of `runs` calls of `step(i)`.
template <typename F> double Time(int runs, F step) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        step(i);
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return Median(times);
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TPlatformScope services(std::make_shared<TBenchPlatform>());
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QTemporaryDir work(base + QStringLiteral("/bench_journal-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot make a work folder in %s\n", qPrintable(base));
        return 1;
    }
    const QString a = work.filePath(QStringLiteral("a"));
    const QString b = work.filePath(QStringLiteral("b"));
    QDir().mkpath(a);
    QDir().mkpath(b);
    MakeNoisyJpeg(a + QStringLiteral("/p.jpg"), qRgb(90, 140, 200));
    const qint64 size = QFileInfo(a + QStringLiteral("/p.jpg")).size();
    qputenv("XDG_DATA_HOME", QFile::encodeName(work.filePath(QStringLiteral("data"))));

    THistory history;
    history.Open(work.filePath(QStringLiteral("Velmo.journal")));
    TQuiet quiet;
    TFileSteps steps(nullptr, history, quiet);
    const QString there[2] = {a + QStringLiteral("/p.jpg"), b + QStringLiteral("/p.jpg")};
    const int runs = 41;

    // Interleaved rounds, so drift of the disk's speed falls on both alike.
    std::vector<double> alone, journaled, copyAlone, copyJournaled;
    for (int round = 0; round < 3; ++round) {
        alone.push_back(
            Time(runs, [&](int i) { ShellMoveFile(nullptr, there[i % 2], there[(i + 1) % 2]); }));
        journaled.push_back(Time(runs, [&](int i) {
            steps.Move(there[(i + 1) % 2], there[i % 2]); // back and forth from where it is
        }));
    }
    const QString copy = b + QStringLiteral("/c.jpg");
    const QString picture = QFile::exists(there[0]) ? there[0] : there[1];
    for (int round = 0; round < 3; ++round) {
        copyAlone.push_back(Time(11, [&](int) {
            QFile::remove(copy);
            ShellCopyFile(nullptr, picture, copy);
        }));
        copyJournaled.push_back(Time(11, [&](int) {
            QFile::remove(copy);
            steps.Copy(picture, copy);
        }));
    }
    const double m0 = Median(alone), m1 = Median(journaled);
    const double c0 = Median(copyAlone), c1 = Median(copyJournaled);
    std::printf("work folder: %s (a %.1f MB picture)\n", qPrintable(work.path()),
                double(size) / 1e6);
    std::printf("move alone:             %8.3f ms (median)\n", m0);
    std::printf("move with its journal:  %8.3f ms (median)  +%.3f ms, ratio %.2f\n", m1, m1 - m0,
                m1 / m0);
    std::printf("copy alone:             %8.3f ms (median)\n", c0);
    std::printf("copy with hash+journal: %8.3f ms (median)  +%.3f ms, ratio %.2f\n", c1, c1 - c0,
                c1 / c0);
    std::printf("journal records written: %d\n", history.RecordCount());
    return 0;
}
