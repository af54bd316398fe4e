// The naming rules of same-named files: which files of a folder form one
// item, which of them leads, the marks the list shows and the numbers that
// keep a pair together.
#include "history/FileGroups.h"

#include <QtTest>
#include <algorithm>

class TestFileGroups : public QObject {
    Q_OBJECT

private slots:
    void groups_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("rules");         // 0 off, 1 on, 2 on with the raw leading
        QTest::addColumn<QStringList>("items"); // "lead +marks", sorted
        const QStringList pair{"IMG_0001.JPG", "IMG_0001.CR2", "IMG_0001.xmp", "IMG_0001.CR2.xmp"};
        QTest::newRow("raw, sidecars and a named sidecar join the picture")
            << pair << 1 << QStringList{"IMG_0001.JPG +CR2 +CR2.xmp +xmp"};
        QTest::newRow("the raw leads when asked")
            << pair << 2 << QStringList{"IMG_0001.CR2 +CR2.xmp +JPG +xmp"};
        QTest::newRow("off: every listed file alone")
            << pair << 0 << QStringList{"IMG_0001.CR2", "IMG_0001.JPG"};
        QTest::newRow("a live photo: clip and edits join the still")
            << QStringList{"IMG_0002.HEIC", "IMG_0002.MOV", "IMG_0002.AAE"} << 1
            << QStringList{"IMG_0002.HEIC +AAE +MOV"};
        QTest::newRow("a clip without a still is its own, listed when shown")
            << QStringList{"clip.mov", "clip.xmp", "film.mp4"} << 1 << QStringList{"clip.mov +xmp"};
        QTest::newRow("two ordinary pictures of a stem are never joined")
            << QStringList{"a.jpg", "a.png", "a.cr2", "a.xmp"} << 1
            << QStringList{"a.cr2", "a.jpg", "a.png"};
        QTest::newRow("stems differing in case stay apart")
            << QStringList{"A.jpg", "a.CR2", "b.JPG", "b.jpg"} << 1
            << QStringList{"A.jpg", "a.CR2", "b.JPG", "b.jpg"};
        QTest::newRow("a raw without a picture leads its sidecar")
            << QStringList{"r.NEF", "r.xmp"} << 1 << QStringList{"r.NEF +xmp"};
        QTest::newRow("a raw that cannot be shown does not lead; the picture does")
            << QStringList{"x.jpg", "x.dng"} << 2 << QStringList{"x.jpg +dng"};
        QTest::newRow("files that cannot be shown and belong nowhere are not listed")
            << QStringList{"notes.txt", "lone.xmp", "lone.x3f", "p.jpg.xmp"} << 1 << QStringList{};
        // Every case of each extension is a file of its own.
        QStringList many{"big.jpg"};
        for (const char* ext :
             {"xmp", "aae", "thm", "cr2", "cr3", "nef", "nrw", "arw", "srf", "sr2", "dng", "raf",
              "orf", "rw2", "pef", "srw", "x3f", "mov", "mp4"})
            for (int caps = 0; caps < 8; ++caps) {
                QString e = QString::fromLatin1(ext);
                for (int i = 0; i < 3; ++i)
                    if (caps & (1 << i))
                        e[i] = e[i].toUpper();
                many << "big." + e;
            }
        QTest::newRow("a stem with hundreds of companions")
            << many << 1 << QStringList{"big.jpg +" + QString::number(many.size() - 1)};
    }
    void groups() {
        QFETCH(QStringList, names);
        QFETCH(int, rules);
        QFETCH(QStringList, items);
        // Listed here: the usual pictures and, as a plug-in would add them,
        // .cr2 (with .dng and the rest of the raws not) and .mov.
        const auto listed = [](const QString& n) {
            const QString ext = n.section('.', -1).toLower();
            return QStringList{"jpg", "png", "heic", "cr2", "nef", "mov"}.contains(ext);
        };
        const std::vector<QString> input(names.begin(), names.end());
        QStringList got;
        for (const TFileGroup& g : GroupFiles(input, {rules != 0, rules == 2}, listed)) {
            // The marks of a group of hundreds are counted, not named.
            const QString mark = g.Companions.size() > 20
                                     ? '+' + QString::number(g.Companions.size())
                                     : CompanionMark(g.Lead, g.Companions);
            got << (mark.isEmpty() ? g.Lead : g.Lead + ' ' + mark);
        }
        got.sort();
        QCOMPARE(got, items);
    }

    void numberedNames_data() {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("numbered");
        QTest::newRow("lead") << "IMG_0001.JPG"
                              << "IMG_0001 (2).JPG";
        QTest::newRow("raw") << "IMG_0001.CR2"
                             << "IMG_0001 (2).CR2";
        QTest::newRow("named sidecar") << "IMG_0001.CR2.xmp"
                                       << "IMG_0001 (2).CR2.xmp";
    }
    void numberedNames() {
        QFETCH(QString, member);
        QFETCH(QString, numbered);
        QCOMPARE(GroupNumberedName(member, NameStem("IMG_0001.JPG"), 2), numbered);
        QCOMPARE(MemberKindOf(numbered), MemberKindOf(member));
    }
};

QTEST_GUILESS_MAIN(TestFileGroups)
#include "test_filegroups.moc"
