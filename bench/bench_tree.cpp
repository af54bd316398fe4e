// The folder tree against plain directory reads, measured in one run:
// expanding a folder of 10,000 subfolders (goal: within 3 times a readdir +
// d_type listing of the same folder), and selecting a folder 8 levels deep
// under nodes that were never expanded (against readdir of the 8 levels),
// and the tree's share of the start-up (the root made and listed).
//
//   build/bench/bench_tree [subfolders]
#include "BenchSupport.h"
#include "platform/ShellNamespace.h"
#include "shelltree/ShellCtrls.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <vector>

namespace {

double Milliseconds(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir sandbox;
    qputenv("HOME", QFile::encodeName(sandbox.path() + "/home"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(sandbox.path() + "/config"));
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const int runs = 7;

    const QString home = sandbox.path() + "/home";
    const QString big = home + "/big";
    QDir().mkpath(big);
    for (int i = 0; i < count; ++i)
        QDir().mkdir(big + QStringLiteral("/folder %1").arg(i));
    QString deep = home;
    for (int level = 1; level <= 8; ++level) {
        for (int sibling = 0; sibling < 20; ++sibling)
            QDir().mkpath(deep + QStringLiteral("/level%1 %2").arg(level).arg(sibling));
        deep += QStringLiteral("/level%1 10").arg(level);
    }

    std::vector<double> plain, expand, shown;
    TShellTreeView tree;
    tree.resize(300, 600);
    tree.show();
    tree.Loaded();
    tree.SelectPath(big);
    QTreeWidgetItem* node = tree.currentItem();
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const int listed = PlainListing(QFile::encodeName(big));
        plain.push_back(Milliseconds(timer));
        if (listed != count)
            std::fprintf(stderr, "listed %d of %d\n", listed, count);

        node->setExpanded(false);
        qDeleteAll(node->takeChildren());
        QCoreApplication::processEvents();
        timer.start();
        node->setExpanded(true);
        expand.push_back(Milliseconds(timer));
        QCoreApplication::processEvents();
        shown.push_back(Milliseconds(timer));
        if (node->childCount() != count)
            std::fprintf(stderr, "tree holds %d of %d\n", node->childCount(), count);
    }

    std::vector<double> plainDeep, select, loaded;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        QString folder = home;
        for (int level = 1; level <= 8; ++level) {
            PlainListing(QFile::encodeName(folder));
            folder += QStringLiteral("/level%1 10").arg(level);
        }
        plainDeep.push_back(Milliseconds(timer));

        TShellTreeView fresh;
        timer.start();
        fresh.Loaded();
        loaded.push_back(Milliseconds(timer));
        timer.start();
        fresh.SelectPath(deep);
        select.push_back(Milliseconds(timer));
        if (fresh.SelectedPath() != deep)
            std::fprintf(stderr, "selected %s\n", qPrintable(fresh.SelectedPath()));
    }

    const double p = Median(plain), e = Median(expand), s = Median(shown);
    std::printf("expand %d subfolders: readdir+d_type %.2f ms, tree %.2f ms (%.1fx, goal <= 3x), "
                "tree until drawn %.2f ms (%.1fx)\n",
                count, p, e, e / p, s, s / p);
    const double pd = Median(plainDeep), sd = Median(select);
    std::printf("SelectPath 8 levels deep, unexpanded: readdir of the 8 levels %.2f ms, "
                "SelectPath %.2f ms (%.1fx)\n",
                pd, sd, sd / pd);
    std::printf("start-up share: making the root and listing the desktop and home %.2f ms\n",
                Median(loaded));
    return 0;
}
