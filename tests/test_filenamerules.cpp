// The shared file-name rules: extensions, A-to-Z folding, the dot entries.
#include "platform/FileName.h"
#include "platform/FileNameRules.h"

#include <QtTest>

class TestFileNameRules : public QObject {
    Q_OBJECT
private slots:
    void extension_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ext");
        QTest::newRow("last dot") << "a.tar.GZ"
                                  << ".GZ";
        QTest::newRow("trailing dot") << "a."
                                      << ".";
        QTest::newRow("hidden file") << ".bashrc"
                                     << ".bashrc";
        QTest::newRow("dot in a folder") << "/x.d/noext"
                                         << "";
        QTest::newRow("folder path") << "/x/a.jpg/"
                                     << "";
        QTest::newRow("raw bytes") << PathFromBytes("/\xff.d/a.J\xe9") << PathFromBytes(".J\xe9");
    }
    void extension() {
        QFETCH(QString, name);
        QFETCH(QString, ext);
        QCOMPARE(ExtractFileExt(name).toString(), ext);
    }

    void sameText_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("ascii letters") << "/P/Ifjpeg.SPI"
                                       << "/p/ifJPEG.spi" << true;
        QTest::newRow("other letters kept") << ".Ä"
                                            << ".ä" << false;
        QTest::newRow("kelvin sign is no k") << ".m\u212Ai"
                                             << ".mki" << false;
        QTest::newRow("raw byte kept")
            << PathFromBytes(".B\xcd") << PathFromBytes(".b\xed") << false;
        QTest::newRow("length") << ".bmp"
                                << ".bmpx" << false;
        QTest::newRow("before A") << "@"
                                  << "`" << false;
        QTest::newRow("after Z") << "["
                                 << "{" << false;
    }
    void sameText() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QCOMPARE(SameTextAZ(a, b), same);
        QCOMPARE(SameTextAZ(b, a), same);
        QCOMPARE(LowerAZ(a) == LowerAZ(b), same);
    }

    void dotEntries() {
        for (const char* name : {".", ".."})
            QVERIFY(IsDotOrDotDot(name));
        for (const char* name : {"", "...", ".a", "a.", "..a"})
            QVERIFY2(!IsDotOrDotDot(name), name);
    }
};

QTEST_GUILESS_MAIN(TestFileNameRules)
#include "test_filenamerules.moc"
