#include "platform/FileOperation.h"
#include "platform/FileTrash.h"
#include "support/FileOpsTestSupport.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QUrl>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {
// The top folder of the filesystem that holds `path`: the longest mount
// point of the mount table that contains it. Where /dev/shm is no mount of
// its own (a chroot with /dev bound in), that is /dev.
QString MountPointOf(const QString& path) {
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    QString best = QStringLiteral("/");
    if (!table.open(QIODevice::ReadOnly))
        return best;
    for (const QByteArray& line : table.readAll().split('\n')) {
        QByteArray point = line.split(' ').value(4);
        for (const char* escape : {"\\040", "\\011", "\\012", "\\134"})
            point.replace(escape, QByteArray(1, char(QByteArray(escape + 1).toInt(nullptr, 8))));
        const QString p = QFile::decodeName(point);
        if (p.size() > best.size() && (path == p || path.startsWith(p + '/')))
            best = p;
    }
    return best;
}
} // namespace

class TestFileOpsTrash : public QObject {
    Q_OBJECT

    TFakePlatformScope Fake;
    QStringList ErrorTexts;

private slots:
    void init() { PrepareFileOpTest(Fake, ErrorTexts); }

    // ---- trash ------------------------------------------------------------

    void trashIntoDataHome() {
        TSandbox box;
        TEnvironment env(box);
        const QString data = box.makeDir("data");
        env.set("XDG_DATA_HOME", data);
        const QString first = box.writeFile("pics/my pic%.jpg", "first");
        const QString second = box.writeFile("pics/other/my pic%.jpg", "second");

        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        QString trashedFirst, trashedSecond;
        TFileOpContext context;
        TFileOpError error;
        QCOMPARE(MoveFileToTrash(first, &trashedFirst, context, error), forDone);
        QCOMPARE(MoveFileToTrash(second, &trashedSecond, context, error), forDone);
        const QDateTime after = QDateTime::currentDateTime().addSecs(1);

        QVERIFY(!QFileInfo::exists(first));
        QVERIFY(!QFileInfo::exists(second));
        QCOMPARE(trashedFirst, data + "/Trash/files/my pic%.jpg");
        QVERIFY(trashedSecond != trashedFirst);
        QCOMPARE(QFileInfo(trashedSecond).path(), data + "/Trash/files");
        QCOMPARE(ReadAll(trashedFirst), QByteArray("first"));
        QCOMPARE(ReadAll(trashedSecond), QByteArray("second"));

        const QString info =
            data + "/Trash/info/" + QFileInfo(trashedSecond).fileName() + ".trashinfo";
        const QStringList lines = QString::fromUtf8(ReadAll(info)).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), QStringLiteral("[Trash Info]"));
        QCOMPARE(lines.value(1), "Path=" + QString::fromUtf8(QUrl::toPercentEncoding(second, "/")));
        QVERIFY(lines.value(2).startsWith("DeletionDate="));
        const QDateTime date = QDateTime::fromString(lines.value(2).mid(13), "yyyy-MM-ddThh:mm:ss");
        QVERIFY2(date.isValid() && date >= before && date <= after, qPrintable(lines.value(2)));
        QVERIFY(ErrorTexts.isEmpty());
    }

    // A fresh account has no data folder yet: the trash must still land there
    // and not under the working folder.
    void trashWithoutDataFolder() {
        TSandbox box;
        TEnvironment env(box);
        const QString data = box.filePath("fresh/.local/share");
        env.set("XDG_DATA_HOME", data);
        const QString work = box.makeDir("work");
        env.chdir(work);
        const QString path = box.writeFile("pics/a.jpg", "picture");

        QCOMPARE(ShellDeleteToTrash(nullptr, path), forDone);
        QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(ReadAll(data + "/Trash/files/a.jpg"), QByteArray("picture"));
        QVERIFY(QFileInfo::exists(data + "/Trash/info/a.jpg.trashinfo"));
        QCOMPARE(Leftovers(work, {}), QStringList());
        QVERIFY(ErrorTexts.isEmpty());
    }

    // When no trash can be had the file stays where it was and the user is
    // told; it is never deleted instead.
    void trashThatCannotBeMadeKeepsFile() {
        TSandbox box;
        TEnvironment env(box);
        box.writeFile("blocked", "a file where the data folder should be");
        env.set("XDG_DATA_HOME", box.filePath("blocked/share"));
        const QString work = box.makeDir("work");
        env.chdir(work);
        const QString path = box.writeFile("pics/a.jpg", "picture");

        QCOMPARE(ShellDeleteToTrash(nullptr, path), forFailed);
        QCOMPARE(ReadAll(path), QByteArray("picture"));
        QCOMPARE(Leftovers(work, {}), QStringList());
        QCOMPARE(ErrorTexts.size(), 1);
        QVERIFY(ErrorTexts[0].startsWith(QStringLiteral("ファイルをごみ箱に移動できません。")));
        QVERIFY(ErrorTexts[0].contains(path));
    }

    // A read-only filesystem of its own: no trash there, and the home trash
    // lies elsewhere. The file must stay, and the user be told.
    void trashOnReadOnlyFilesystemKeepsFile() {
        if (!RunsAsRoot())
            return;
        if (!CanUsePrivateMounts())
            QSKIP(NoPrivateMounts);
        TSandbox box;
        TEnvironment env(box);
        env.set("XDG_DATA_HOME", box.makeDir("data"));
        box.makeDir("card");
        const QString output = RunInPrivateMounts(
            box.path(),
            "mount -t tmpfs -o size=64k tmpfs \"$1/card\"; printf picture > \"$1/card/a.jpg\"; "
            "mount -o remount,ro \"$1/card\"",
            "echo LIST; ls -A \"$1/card\"; echo CONTENT; cat \"$1/card/a.jpg\"",
            box.filePath("card/a.jpg"), QString(), "trash");
        QVERIFY2(output.contains(QStringLiteral("RESULT %1").arg(int(forFailed))),
                 qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("ファイルをごみ箱に移動できません。")),
                 qPrintable(output));
        QVERIFY2(output.contains(QString::fromLocal8Bit(strerror(EROFS))), qPrintable(output));
        QVERIFY2(output.endsWith("LIST\na.jpg\nCONTENT\npicture"), qPrintable(output));
        QCOMPARE(Leftovers(box.filePath("data/Trash/files"), {}), QStringList());
    }

    // On a full disk the trash's info file cannot be written: without it no
    // desktop shows the file, so it goes back where it was.
    void trashOnFullDiskKeepsFile() {
        if (!RunsAsRoot())
            return;
        if (!CanUsePrivateMounts())
            QSKIP(NoPrivateMounts);
        TSandbox box;
        box.makeDir("home");
        const QString output = RunInPrivateMounts(
            box.path(),
            "mount -t tmpfs -o size=256k tmpfs \"$1/home\"; export HOME=\"$1/home\"; "
            "export XDG_DATA_HOME=\"$1/home/data\"; mkdir -p \"$1/home/data/Trash/files\" "
            "\"$1/home/data/Trash/info\" \"$1/home/pics\"; printf picture > "
            "\"$1/home/pics/a.jpg\"; "
            "dd if=/dev/zero of=\"$1/home/filler\" bs=4k 2>/dev/null || true",
            "echo LIST; ls -A \"$1/home/pics\"; echo TRASH; ls -A \"$1/home/data/Trash/files\"; "
            "ls -A \"$1/home/data/Trash/info\"; echo CONTENT; "
            "cat \"$1/home/pics/a.jpg\"",
            box.filePath("home/pics/a.jpg"), QString(), "trash");
        QVERIFY2(output.contains(QStringLiteral("RESULT %1").arg(int(forFailed))),
                 qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("ごみ箱の情報ファイルを書き込めません")),
                 qPrintable(output));
        QVERIFY2(output.endsWith("LIST\na.jpg\nTRASH\nCONTENT\npicture"), qPrintable(output));
    }

    void trashOfMissingFileIsReported() {
        TSandbox box;
        QCOMPARE(ShellDeleteToTrash(nullptr, box.filePath("none.jpg")), forFailed);
        QCOMPARE(ErrorTexts.size(), 1);
        QVERIFY(ErrorTexts[0].contains(QString::fromLocal8Bit(strerror(ENOENT))));
    }

    // A file on another filesystem goes to that filesystem's own trash.
    void trashOnAnotherFilesystem() {
        TSandbox box;
        TEnvironment env(box);
        env.set("XDG_DATA_HOME", box.makeDir("data"));
        TShmSandbox shm;
        if (!OnDifferentDevices(box.path(), shm.path()))
            QSKIP("/dev/shm lies on the sandbox's filesystem");
        const QString path = shm.filePath("pic.jpg");
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("picture");
        }
        QString trashed;
        TFileOpContext context;
        TFileOpError error;
        QCOMPARE(MoveFileToTrash(path, &trashed, context, error), forDone);
        const QString trash =
            QDir(MountPointOf(shm.path())).filePath(QStringLiteral(".Trash-%1").arg(::getuid()));
        QCOMPARE(QFileInfo(trashed).path(), trash + "/files");
        QCOMPARE(ReadAll(trashed), QByteArray("picture"));
        const QString info = trash + "/info/" + QFileInfo(trashed).fileName() + ".trashinfo";
        const QByteArray text = ReadAll(info);
        QVERIFY2(text.contains("\nPath=" + QUrl::toPercentEncoding(path, "/") + "\n"),
                 text.constData());
        QFile::remove(trashed);
        QFile::remove(info);
        for (const char* folder : {"/files", "/info", ""})
            QDir().rmdir(trash + folder); // only when nobody else's things are there
    }

    void trashFolderRecognised_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("isTrash");
        const QString uid = QString::number(::getuid());
        QTest::newRow("working folder") << QDir::currentPath() + "/files" << false;
        QTest::newRow("root top trash") << "/.Trash-" + uid + "/files" << true;
        QTest::newRow("shared top trash") << "/.Trash/" + uid + "/files" << true;
        QTest::newRow("other user's trash") << "/.Trash-" + uid + "9/files" << false;
        QTest::newRow("not at the top") << "/usr/.Trash-" + uid + "/files" << false;
        QTest::newRow("info folder") << "/.Trash-" + uid + "/info" << false;
    }
    void trashFolderRecognised() {
        QFETCH(QString, folder);
        QFETCH(bool, isTrash);
        QCOMPARE(IsTrashFilesFolder(folder), isTrash);
    }
};

int main(int argc, char** argv) {
    const QByteArray helper = qgetenv("VELMO_FILEOPS_HELPER");
    if (!helper.isEmpty()) {
        QCoreApplication app(argc, argv);
        return RunFileOpsHelper(helper);
    }
    QApplication app(argc, argv);
    TestFileOpsTrash test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_fileops_trash.moc"
