// The shared file-name rules: extensions, A-to-Z folding, the dot entries.
#include "platform/FileName.h"
#include "platform/FileNameRules.h"

#include <QtTest>

class TestFileNameRules : public QObject {
    Q_OBJECT
private slots:
    void extension() {
        const struct {
            const char *Name, *Ext;
        } rows[] = {{"a.", "."},
                    {".bashrc", ".bashrc"},
                    {"/x/a.jpg/", ""},
                    {"/\xff.d/a.J\xe9", ".J\xe9"},
                    {"/x.d/noext", ""}};
        for (const auto& r : rows)
            QCOMPARE(ExtractFileExt(PathFromBytes(r.Name)).toString(), PathFromBytes(r.Ext));
    }

    void sameText() {
        // Only A to Z fold: not "Ä", nor the Kelvin sign, nor a kept byte,
        // nor the neighbours of A and Z.
        const struct {
            const char *A, *B;
            bool Same;
        } rows[] = {{"/P/Ifjpeg.SPI", "/p/ifJPEG.spi", true},
                    {".Ä", ".ä", false},
                    {".m\u212Ai", ".mki", false},
                    {".B\xcd", ".b\xed", false},
                    {"@", "`", false},
                    {"[", "{", false},
                    {".bmp", ".bmpx", false}};
        for (const auto& r : rows) {
            const QString a = PathFromBytes(r.A), b = PathFromBytes(r.B);
            QCOMPARE(SameTextAZ(a, b), r.Same);
            QCOMPARE(SameTextAZ(b, a), r.Same);
            QCOMPARE(LowerAZ(a) == LowerAZ(b), r.Same);
        }
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
