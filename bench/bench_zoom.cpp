// Zoom at the pointer on a 24-megapixel picture, driven through the window:
// each Ctrl+wheel step from the fitted view to 100% and back, the step and
// its drawing timed together, against redrawing the same view at actual
// size (the drawing every other scale must keep up with); and the next
// picture of a burst at the kept 100% against the next at the fitted view,
// and the next with the picture before pinned beside it (compare).
//
//   bench_zoom [work folder] [runs]
#include "app/ImageView.h"
#include "app/Preloader.h"
#include "bench/BenchWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <cstdio>
#include <vector>

namespace {
// The view moved by a drag's worth and drawn again.
double RepaintMs(TfrmVelmo& form, int step) {
    QScrollBar* h = form.scbMain->horizontalScrollBar();
    QElapsedTimer t;
    t.start();
    h->setValue(h->value() + step);
    form.scbMain->viewport()->repaint();
    return double(t.nsecsElapsed()) / 1e6;
}

// One notch of the wheel with Ctrl over the middle of the view, then drawn.
double WheelMs(TfrmVelmo& form, int direction) {
    QWidget* viewport = form.scbMain->viewport();
    const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
    QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, 120 * direction),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QElapsedTimer t;
    t.start();
    QCoreApplication::sendEvent(viewport, &wheel);
    viewport->repaint();
    return double(t.nsecsElapsed()) / 1e6;
}

void WaitFor(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The next picture shown and drawn, its preload given time to finish first.
double NextMs(TfrmVelmo& form, const QString& next) {
    WaitFor([&] { return form.Preloads().Finished(next); });
    QElapsedTimer t;
    t.start();
    form.actNext->trigger();
    form.scbMain->viewport()->repaint();
    return double(t.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char* argv[]) {
    KeepPictureMemory();
    QTemporaryDir temp;
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
    PrepareBenchProgram(work);
    QApplication app(argc, argv);
    const QString pics = work + QStringLiteral("/pics");
    QDir().mkpath(pics);
    const int count = 3 * runs + 2;
    for (int i = 0; i < count; ++i)
        MakeNoisyJpeg(pics + QStringLiteral("/burst%1.jpg").arg(i, 2, 10, QLatin1Char('0')),
                      qRgb(90 + 5 * i, 120, 160));
    TBenchWindow window;
    TfrmVelmo& form = window.form();
    IniRec.DispSize = 1;
    IniRec.Proportional = 1;
    IniRec.Zoom = 0;
    IniRec.KeepZoom = 1;
    IniRec.CurrentPath = pics;
    form.ApplySettings();
    form.OpenFolder(pics);
    form.scbMain->viewport()->repaint();

    // The first step of a picture decoded for the fitted view decodes it whole.
    const double first = WheelMs(form, 1);
    WheelMs(form, -1);
    std::printf("first step in on a picture decoded for the fitted view: %.1f ms (its whole "
                "decode)\n",
                first);

    // The baseline: the view redrawn at actual size, as today.
    IniRec.DispSize = 0;
    form.FitPicture();
    std::vector<double> actual;
    for (int i = 0; i < 9; ++i)
        actual.push_back(RepaintMs(form, 40));
    const double base = Median(actual);
    IniRec.DispSize = 1;
    form.FitPicture();
    std::printf(
        "baseline: the view dragged 40 pixels and redrawn at actual size %.2f ms (median of 9)\n",
        base);

    std::vector<double> steps;
    double worst = 0;
    for (int run = 0; run < runs; ++run) {
        std::printf("run %d:", run + 1);
        for (int direction : {1, -1}) {
            for (int i = 0; i < 20; ++i) {
                const double before = form.ViewScale;
                const double ms = WheelMs(form, direction);
                if (form.ViewScale == before)
                    break;
                std::printf(" %s%.0f%% %.2f ms", direction > 0 ? "+" : "-",
                            form.ViewScale > 0 ? form.ViewScale * 100 : 0.0, ms);
                steps.push_back(ms);
                worst = std::max(worst, ms);
                if (direction > 0 && form.ViewScale >= 1)
                    break;
            }
        }
        std::printf("\n");
    }
    std::printf("Ctrl+wheel steps fit -> 100%% -> fit: median %.2f ms, worst %.2f ms (frame 16.7 "
                "ms); median / baseline %.2f\n",
                Median(steps), worst, Median(steps) / base);

    // A burst: next at the fitted view, then next at the kept 100%.
    const auto picture = [&](int i) {
        return pics + QStringLiteral("/burst%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
    };
    std::vector<double> fitted, kept;
    int shown = form.ShownIndex;
    for (int i = 0; i < runs; ++i, ++shown)
        fitted.push_back(NextMs(form, picture(shown + 1)));
    form.ZoomTo(1, QPointF(form.scbMain->viewport()->width() / 2.0, 100));
    for (int i = 0; i < runs; ++i, ++shown)
        kept.push_back(NextMs(form, picture(shown + 1)));
    std::printf("next in a burst, preloaded: fitted %.1f ms, kept at %.0f%% %.1f ms (medians of "
                "%d); kept / fitted %.2f\n",
                Median(fitted), form.ViewScale * 100, Median(kept), runs,
                Median(kept) / Median(fitted));
    // Compare: the picture on show pinned, the right half stepping on.
    form.actCompare->trigger();
    std::vector<double> compared;
    for (int i = 0; i < runs; ++i, ++shown)
        compared.push_back(NextMs(form, picture(shown + 1)));
    std::printf("next with a picture pinned beside it, at %.0f%%: %.1f ms; compared / kept %.2f\n",
                form.ViewScale * 100, Median(compared), Median(compared) / Median(kept));
    return 0;
}
