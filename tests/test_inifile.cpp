// The INI routines on real files: encodings, size, line ends, modes, links,
// and writes that fail without harming the file.
#include "platform/FileName.h"
#include "settings/IniAccess.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QtTest>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString Message(const QString& path) {
    return path + QStringLiteral(" に書き込めません");
}

} // namespace

class TestIniFile : public QObject {
    Q_OBJECT
private slots:
    void writesCreateFileAndReadBack() {
        TSandbox box;
        const QString ini = box.filePath("Velmo.ini");
        QCOMPARE(IniReadString(ini, "PATH", "CurrentPath", "none"), QString("none"));
        QCOMPARE(IniReadInteger(ini, "WINDOW", "Width", 800), 800);
        IniWriteString(ini, "PATH", "CurrentPath", "/home/user/画像");
        IniWriteInteger(ini, "WINDOW", "Width", -1024);
        IniWriteString(ini, "PATH", "Title0", " padded ");
        QCOMPARE(ReadAll(ini), QString("[PATH]\nCurrentPath=/home/user/画像\nTitle0=\" padded \"\n"
                                       "[WINDOW]\nWidth=-1024\n")
                                   .toUtf8());
        QCOMPARE(IniReadString(ini, "path", "currentpath", ""), QString("/home/user/画像"));
        QCOMPARE(IniReadString(ini, "PATH", "Title0", ""), QString(" padded "));
        QCOMPARE(IniReadInteger(ini, "WINDOW", "Width", 0), -1024);
        // Only the file itself is in the folder: no temporary file is left.
        QCOMPARE(QDir(box.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"Velmo.ini"});
    }

    void deletesOnMissingFileCreateNothing() {
        TSandbox box;
        const QString ini = box.filePath("Velmo.ini");
        IniDeleteKey(ini, "SETTING", "PnlFolTop");
        IniEraseSection(ini, "VERSION");
        QVERIFY(!QFile::exists(ini));
    }

    void everyReadSeesTheDisk() {
        TSandbox box;
        const QString ini = box.writeFile("Velmo.ini", "[A]\nk=1\n");
        QCOMPARE(IniReadInteger(ini, "A", "k", 0), 1);
        box.writeFile("Velmo.ini", "[A]\nk=2\n");
        QCOMPARE(IniReadInteger(ini, "A", "k", 0), 2);
        IniWriteInteger(ini, "A", "j", 3);
        box.writeFile("Velmo.ini", "[A]\nk=4\n");
        IniWriteInteger(ini, "A", "j", 5);
        QCOMPARE(ReadAll(ini), QByteArray("[A]\nk=4\nj=5\n"));
    }

    void shiftJisFileIsReadAndRewrittenAsUtf8() {
        TSandbox box;
        QStringEncoder sjis("Shift_JIS");
        const QString text =
            QStringLiteral("; メモ\r\n[PATH]\r\nTitle0=表示\r\nPath0=/mnt/ソフト\r\n");
        const QString ini = box.writeFile("Velmo.ini", sjis.encode(text));
        QCOMPARE(IniReadString(ini, "PATH", "Title0", ""), QString("表示"));
        QCOMPARE(IniReadString(ini, "PATH", "Path0", ""), QString("/mnt/ソフト"));
        IniWriteString(ini, "PATH", "Title1", "新");
        QCOMPARE(ReadAll(ini), (text + QStringLiteral("Title1=新\r\n")).toUtf8());
    }

    void byteOrderMarkAndCrlfKept() {
        TSandbox box;
        const QString ini = box.writeFile("Velmo.ini", "\xEF\xBB\xBF[A]\r\nk=1\r\n; note\r\n");
        QCOMPARE(IniReadInteger(ini, "A", "k", 0), 1);
        IniWriteInteger(ini, "A", "k", 2);
        IniWriteInteger(ini, "B", "n", 3);
        QCOMPARE(ReadAll(ini), QByteArray("\xEF\xBB\xBF[A]\r\nk=2\r\n; note\r\n[B]\r\nn=3\r\n"));
    }

    void garbageFileGivesDefaultsAndStaysUsable() {
        TSandbox box;
        QByteArray junk(256 * 1024, Qt::Uninitialized);
        QRandomGenerator gen(7);
        for (char& c : junk)
            c = char(gen.bounded(256));
        const QString ini = box.writeFile("Velmo.ini", junk);
        QCOMPARE(IniReadInteger(ini, "WINDOW", "Top", 17), 17);
        QCOMPARE(IniReadString(ini, "PATH", "CurrentPath", ""), QString());
        IniWriteInteger(ini, "WINDOW", "Top", 5);
        QCOMPARE(IniReadInteger(ini, "WINDOW", "Top", 17), 5);
    }

    void largeFileAndLongLines() {
        TSandbox box;
        QByteArray big = "[FOREIGN]\n";
        const QByteArray filler = "key_of_another_program=" + QByteArray(70, 'x') + "\n";
        while (big.size() < 10 * 1024 * 1024)
            big += filler;
        big += "[PATH]\nCurrentPath=" + QByteArray(3 * 1024 * 1024, 'p') + "\n";
        const QString ini = box.writeFile("Velmo.ini", big);
        QCOMPARE(IniReadString(ini, "PATH", "CurrentPath", "").size(), 2047);
        IniWriteString(ini, "PATH", "StartMode", "1");
        const QByteArray after = ReadAll(ini);
        QCOMPARE(after.size(), big.size() + qsizetype(sizeof("StartMode=1\n") - 1));
        QVERIFY(after.startsWith(big));
        QCOMPARE(IniReadInteger(ini, "PATH", "StartMode", 0), 1);
    }

    void modeKeptAndNewFileFollowsUmask() {
        TSandbox box;
        const QString ini = box.writeFile("Velmo.ini", "[A]\nk=1\n");
        QVERIFY(::chmod(QFile::encodeName(ini).constData(), 0640) == 0);
        IniWriteInteger(ini, "A", "k", 2);
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(ini).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), 0640);

        const mode_t mask = ::umask(022);
        const QString fresh = box.filePath("fresh/Velmo.ini");
        IniWriteInteger(fresh, "A", "k", 1);
        ::umask(mask);
        QVERIFY(::stat(QFile::encodeName(fresh).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), 0644);
    }

    void ownerKeptAndSetIdBitsDropped() {
        if (!RunsAsRoot())
            return;
        TSandbox box;
        const QString ini = box.writeFile("Velmo.ini", "[A]\nk=1\n");
        const QByteArray name = QFile::encodeName(ini);
        if (::geteuid() != 0 || ::chown(name.constData(), 4321, 4321) != 0)
            QSKIP("the file cannot be given away here");
        QVERIFY(::chmod(name.constData(), 02664) == 0);
        IniWriteInteger(ini, "A", "k", 2);
        struct stat st {};
        QVERIFY(::stat(name.constData(), &st) == 0);
        QCOMPARE(int(st.st_uid), 4321);
        QCOMPARE(int(st.st_gid), 4321);
        QCOMPARE(int(st.st_mode & 07777), 0664);
    }

    void nameThatIsNotUtf8IsNeitherReadNorWritten() {
        TSandbox box;
        const QByteArray dir = QFile::encodeName(box.path()) + "/\xff";
        const QByteArray file = dir + "/Velmo.ini";
        QVERIFY(::mkdir(dir.constData(), 0700) == 0);
        // The sandbox cannot remove a name it cannot spell.
        const auto clear =
            qScopeGuard([&] { ::unlink(file.constData()), ::rmdir(dir.constData()); });
        FILE* f = std::fopen(file.constData(), "w");
        QVERIFY(f && std::fputs("[A]\nk=1\nj=2\n", f) >= 0 && std::fclose(f) == 0);
        const QString ini = PathFromBytes(file);
        QVERIFY_THROWS_EXCEPTION(EIniWriteError, IniWriteInteger(ini, "A", "k", 5));
        struct stat st {};
        QVERIFY(::stat(file.constData(), &st) == 0);
        QCOMPARE(qint64(st.st_size), qint64(12));
    }

    void symbolicLinkStaysALink() {
        TSandbox box;
        const QString target = box.writeFile("real/Velmo.ini", "[A]\nk=1\n");
        const QString link = box.filePath("Velmo.ini");
        QVERIFY(QFile::link(target, link));
        IniWriteInteger(link, "A", "k", 2);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(ReadAll(target), QByteArray("[A]\nk=2\n"));
    }

    void writeUnderAFileRaises() {
        TSandbox box;
        const QString blocker = box.writeFile("blocker", "not a folder");
        const QString ini = blocker + "/Velmo.ini";
        try {
            IniWriteString(ini, "PATH", "CurrentPath", "/x");
            QFAIL("no error raised");
        } catch (const EIniWriteError& e) {
            QCOMPARE(e.Message, Message(ini));
        }
        QVERIFY_THROWS_EXCEPTION(Exception, IniWriteInteger(ini, "A", "k", 1));
        IniDeleteKey(ini, "A", "k"); // never reports
        QCOMPARE(ReadAll(blocker), QByteArray("not a folder"));
    }

    void folderNamedLikeTheFileIsNotReplaced() {
        TSandbox box;
        const QString ini = box.makeDir("Velmo.ini");
        box.writeFile("Velmo.ini/inside", "keep");
        QVERIFY_THROWS_EXCEPTION(EIniWriteError, IniWriteInteger(ini, "A", "k", 1));
        QCOMPARE(ReadAll(ini + "/inside"), QByteArray("keep"));
    }

    void failedWriteLeavesOldFileWhole() {
        if (!RunsAsRoot())
            return;
        TSandbox box;
        const QByteArray before = "[VERSION]\r\nVer=1.00\r\n[A]\r\nk=1\r\n";
        const QString ini = box.writeFile("Velmo.ini", before);
        {
            TReadOnly lock(ini);
            if (!lock.Ok)
                QSKIP(NoPrivateMounts);
            try {
                IniWriteInteger(ini, "A", "k", 2);
                QFAIL("no error raised");
            } catch (const EIniWriteError& e) {
                QCOMPARE(e.Message, Message(ini));
            }
            QVERIFY_THROWS_EXCEPTION(EIniWriteError, IniEraseSection(ini, "VERSION"));
            IniDeleteKey(ini, "VERSION", "Ver");
            QCOMPARE(ReadAll(ini), before);
            QCOMPARE(IniReadInteger(ini, "A", "k", 0), 1);
        }
        QCOMPARE(QDir(box.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"Velmo.ini"});
    }

    void unwritableFolderRaises() {
        if (!RunsAsRoot())
            return;
        TSandbox box;
        const QString dir = box.makeDir("ro");
        const QString ini = dir + "/Velmo.ini";
        TReadOnly lock(dir);
        if (!lock.Ok)
            QSKIP(NoPrivateMounts);
        QVERIFY_THROWS_EXCEPTION(EIniWriteError, IniWriteString(ini, "A", "k", "v"));
        QVERIFY(!QFile::exists(ini));
        QVERIFY(QDir(dir).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
