#include "platform/FileCopy.h"
#include "platform/FileDelete.h"
#include "platform/FileMove.h"
#include "platform/FileOperation.h"
#include "support/FileOpsTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

class TestFileOps : public QObject {
    Q_OBJECT

    TFakePlatformScope Fake;
    QStringList ErrorTexts;

private slots:
    void init() { PrepareFileOpTest(Fake, ErrorTexts); }

    // ---- copy -------------------------------------------------------------

    void copyReplacesTargetKeepingTimeAndMode() {
        TSandbox box;
        const QByteArray data = RandomBytes(3 * 1024 * 1024 + 17);
        const QString source = box.writeFile("in/pic.jpg", data);
        ::chmod(QFile::encodeName(source).constData(), 0640);
        SetTimes(source, 1000000000, 123456789);
        const QString target = box.writeFile("out/pic.jpg", "old picture");

        QCOMPARE(ShellCopyFile(nullptr, source, target), forDone);
        QCOMPARE(ReadAll(target), data);
        QCOMPARE(ReadAll(source), data);
        const struct stat st = StatOf(target);
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        QCOMPARE(st.st_mtim.tv_sec, time_t(1000000000));
        QCOMPARE(st.st_mtim.tv_nsec, 123456789L);
        QCOMPARE(Leftovers(box.filePath("out"), {"pic.jpg"}), QStringList());
        QVERIFY(ErrorTexts.isEmpty());
    }

    void copyMakesMissingFolders() {
        TSandbox box;
        const QString source = box.writeFile("pic.png", "png bytes");
        const QString target = box.filePath("a/b/c/pic.png");
        QCOMPARE(ShellCopyFile(nullptr, source, target), forDone);
        QCOMPARE(ReadAll(target), QByteArray("png bytes"));
    }

    // A filesystem without modes (a memory card's FAT) refuses chmod; the
    // copy still goes through.
    void copyWhereModesCannotBeSet() {
        TSandbox box;
        const QString source = box.writeFile("pic.jpg", "picture");
        const QString target = box.writeFile("card/pic.jpg", "old picture");
        Fake->OnFileOpFault = [](TFileOpStep step, const QString&) {
            return step == fosSetAttributes ? EPERM : 0;
        };
        QCOMPARE(ShellCopyFile(nullptr, source, target), forDone);
        QCOMPARE(ReadAll(target), QByteArray("picture"));
        QVERIFY(ErrorTexts.isEmpty());
    }

    void copyEmptyFile() {
        TSandbox box;
        const QString source = box.writeFile("empty.bmp", QByteArray());
        const QString target = box.writeFile("out/empty.bmp", "something");
        QCOMPARE(ShellCopyFile(nullptr, source, target), forDone);
        QCOMPARE(QFileInfo(target).size(), 0);
    }

    // Whatever step fails, an existing target stays as it was, nothing
    // temporary is left, and the box tells the system's reason and the paths.
    void copyFailureKeepsTarget_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("code");
        QTest::newRow("source unreadable") << int(fosOpenSource) << EACCES;
        QTest::newRow("folder not writable") << int(fosCreateTemp) << EACCES;
        QTest::newRow("disk full while writing") << int(fosWrite) << ENOSPC;
        QTest::newRow("flush fails") << int(fosSyncData) << EIO;
        QTest::newRow("rename refused") << int(fosRename) << EPERM;
    }
    void copyFailureKeepsTarget() {
        QFETCH(int, step);
        QFETCH(int, code);
        TSandbox box;
        const QByteArray data = RandomBytes(2 * 1024 * 1024);
        const QString source = box.writeFile("pic.jpg", data);
        const QString target = box.writeFile("out/pic.jpg", "old picture");
        int writes = 0;
        Fake->OnFileOpFault = [&](TFileOpStep at, const QString&) {
            if (at != step)
                return 0;
            // Fail the second chunk, so part of the copy is already written.
            if (at == fosWrite && ++writes < 2)
                return 0;
            return code;
        };

        QCOMPARE(ShellCopyFile(nullptr, source, target), forFailed);
        QCOMPARE(ReadAll(target), QByteArray("old picture"));
        QCOMPARE(ReadAll(source), data);
        QCOMPARE(Leftovers(box.filePath("out"), {"pic.jpg"}), QStringList());
        QCOMPARE(ErrorTexts.size(), 1);
        QVERIFY2(ErrorTexts[0].contains(QString::fromLocal8Bit(strerror(code))),
                 qPrintable(ErrorTexts[0]));
        QVERIFY(ErrorTexts[0].contains(source));
        QVERIFY(ErrorTexts[0].contains(target));
        QVERIFY(ErrorTexts[0].startsWith(QStringLiteral("ファイルをコピーできません。")));
    }

    // A name near the length limit still leaves room for the temporary file.
    void copyAndMoveLongNames() {
        TSandbox box;
        TShmSandbox shm;
        const QString name = QString(80, QChar(u'写')) + QStringLiteral(".jpg"); // 244 bytes
        const QString source = box.writeFile(name, "picture");
        QCOMPARE(ShellCopyFile(nullptr, source, box.filePath("out/" + name)), forDone);
        QCOMPARE(ReadAll(box.filePath("out/" + name)), QByteArray("picture"));
        QCOMPARE(ShellMoveFile(nullptr, source, shm.filePath(name)), forDone);
        QCOMPARE(ReadAll(shm.filePath(name)), QByteArray("picture"));
        QVERIFY(ErrorTexts.isEmpty());
    }

    void copyOfVanishedSource() {
        TSandbox box;
        const QString source = box.writeFile("gone.jpg", "x");
        const QString target = box.writeFile("out/gone.jpg", "old picture");
        QFile::remove(source);
        QCOMPARE(ShellCopyFile(nullptr, source, target), forFailed);
        QCOMPARE(ReadAll(target), QByteArray("old picture"));
        QCOMPARE(Leftovers(box.filePath("out"), {"gone.jpg"}), QStringList());
        QCOMPARE(ErrorTexts.size(), 1);
        QVERIFY(ErrorTexts[0].contains(QString::fromLocal8Bit(strerror(ENOENT))));
    }

    void copyOfNamedPipeFails() {
        TSandbox box;
        const QString source = box.filePath("pipe.jpg");
        QCOMPARE(::mkfifo(QFile::encodeName(source).constData(), 0600), 0);
        const QString target = box.writeFile("out/pipe.jpg", "old picture");
        QCOMPARE(ShellCopyFile(nullptr, source, target), forFailed);
        QCOMPARE(ReadAll(target), QByteArray("old picture"));
        QCOMPARE(ErrorTexts.size(), 1);
    }

    void copyOntoAFolderFails() {
        TSandbox box;
        const QString source = box.writeFile("pic.jpg", "x");
        const QString target = box.makeDir("out/pic.jpg");
        box.writeFile("out/pic.jpg/inside", "keep");
        QCOMPARE(ShellCopyFile(nullptr, source, target), forFailed);
        QCOMPARE(ReadAll(target + "/inside"), QByteArray("keep"));
        QCOMPARE(Leftovers(box.filePath("out"), {"pic.jpg"}), QStringList());
    }

    // A real full filesystem and a real read-only folder, in a private mount
    // namespace so nothing shows outside this test.
    void copyOntoRealFailingFilesystems_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("code");
        QTest::newRow("full tmpfs") << "mount -t tmpfs -o size=256k tmpfs \"$1/out\"; "
                                       "printf 'old picture' > \"$1/out/pic.jpg\""
                                    << ENOSPC;
        QTest::newRow("read-only folder")
            << "printf 'old picture' > \"$1/out/pic.jpg\"; mount --bind \"$1/out\" \"$1/out\"; "
               "mount -o remount,bind,ro \"$1/out\""
            << EROFS;
    }
    void copyOntoRealFailingFilesystems() {
        QFETCH(QString, setup);
        QFETCH(int, code);
        if (!RunsAsRoot())
            return;
        if (!CanUsePrivateMounts())
            QSKIP(NoPrivateMounts);
        TSandbox box;
        box.makeDir("out");
        const QString source = box.writeFile("pic.jpg", RandomBytes(1024 * 1024));
        const QString output = RunInPrivateMounts(
            box.path(), setup, "echo LIST; ls -A \"$1/out\"; echo CONTENT; cat \"$1/out/pic.jpg\"",
            source, box.filePath("out/pic.jpg"));
        QVERIFY2(output.contains(QStringLiteral("RESULT %1").arg(int(forFailed))),
                 qPrintable(output));
        QVERIFY2(output.contains(QString::fromLocal8Bit(strerror(code))), qPrintable(output));
        QVERIFY2(output.endsWith("LIST\npic.jpg\nCONTENT\nold picture"), qPrintable(output));
    }

    // The dialog appears for a slow copy; cancelling leaves no partial file
    // and the old target and the source as they were.
    void cancelledCopyLeavesNothing() {
        TSandbox box;
        const QByteArray data = RandomBytes(8 * 1024 * 1024);
        const QString source = box.writeFile("pic.jpg", data);
        const QString target = box.writeFile("out/pic.jpg", "old picture");
        Fake->ProgressDelay = 100;
        // A slow disk: after the first chunk the copy crawls until the user
        // has pressed cancel (or a generous while has passed).
        std::atomic<bool> clicked{false};
        int chunks = 0;
        Fake->OnFileOpFault = [&](TFileOpStep step, const QString&) {
            if (step == fosWrite && ++chunks > 1) {
                for (int i = 0; i < 2000 && !clicked; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return 0;
        };
        bool sawDialog = false;
        QTimer watcher;
        watcher.setInterval(20);
        connect(&watcher, &QTimer::timeout, this, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QProgressDialog*>(widget);
                if (dialog && dialog->isVisible() &&
                    dialog->objectName() == QLatin1String("FileOperationProgress")) {
                    sawDialog = true;
                    auto* cancel = dialog->findChild<QPushButton*>();
                    if (dialog->value() > 0 && cancel && !clicked) {
                        cancel->click();
                        clicked = true;
                    }
                }
            }
        });
        watcher.start();
        const TFileOpResult result = ShellCopyFile(nullptr, source, target);
        watcher.stop();
        QVERIFY(sawDialog);
        QCOMPARE(result, forCancelled);
        QCOMPARE(ReadAll(target), QByteArray("old picture"));
        QCOMPARE(ReadAll(source), data);
        QCOMPARE(Leftovers(box.filePath("out"), {"pic.jpg"}), QStringList());
        QVERIFY(ErrorTexts.isEmpty());
    }

    // ---- move -------------------------------------------------------------

    void moveOnOneFilesystem() {
        TSandbox box;
        const QString source = box.writeFile("pic.jpg", "new picture");
        SetTimes(source, 1200000000, 5);
        const QString target = box.writeFile("out/pic.jpg", "old picture");
        QCOMPARE(ShellMoveFile(nullptr, source, target), forDone);
        QVERIFY(!QFileInfo::exists(source));
        QCOMPARE(ReadAll(target), QByteArray("new picture"));
        QCOMPARE(StatOf(target).st_mtim.tv_sec, time_t(1200000000));
        QVERIFY(ErrorTexts.isEmpty());
    }

    // Two names of one file: a move of one onto the other must not lose it.
    void moveOntoItselfKeepsFile() {
        TSandbox box;
        const QString target = box.writeFile("out/pic.jpg", "picture");
        const QString link = box.filePath("pic.jpg");
        QVERIFY(QFile::link(target, link));
        ShellMoveFile(nullptr, link, target);
        QCOMPARE(ReadAll(target), QByteArray("picture"));
        QCOMPARE(ShellMoveFile(nullptr, target, target), forDone);
        QCOMPARE(ReadAll(target), QByteArray("picture"));
    }

    // The same folder under a second mount looks like another filesystem.
    void moveOntoItselfThroughBindMount() {
        if (!RunsAsRoot())
            return;
        if (!CanUsePrivateMounts())
            QSKIP(NoPrivateMounts);
        TSandbox box;
        box.writeFile("a/pic.jpg", "picture");
        box.makeDir("b");
        const QString output =
            RunInPrivateMounts(box.path(), "mount --bind \"$1/a\" \"$1/b\"",
                               "echo LIST; ls -A \"$1/a\"; echo CONTENT; cat \"$1/a/pic.jpg\"",
                               box.filePath("a/pic.jpg"), box.filePath("b/pic.jpg"), "move");
        QVERIFY2(output.endsWith("LIST\npic.jpg\nCONTENT\npicture"), qPrintable(output));
    }

    void moveAcrossFilesystems() {
        TSandbox box;
        TShmSandbox shm;
        QVERIFY(shm.isValid());
        if (!OnDifferentDevices(box.path(), shm.path()))
            QSKIP("/dev/shm lies on the sandbox's filesystem");
        const QByteArray data = RandomBytes(3 * 1024 * 1024);
        const QString source = shm.filePath("pic.jpg");
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(data);
        }
        ::chmod(QFile::encodeName(source).constData(), 0604);
        SetTimes(source, 1100000000, 987654321);
        const QString target = box.writeFile("out/pic.jpg", "old picture");

        QCOMPARE(ShellMoveFile(nullptr, source, target), forDone);
        QVERIFY(!QFileInfo::exists(source));
        QCOMPARE(ReadAll(target), data);
        const struct stat st = StatOf(target);
        QCOMPARE(st.st_mode & 07777, mode_t(0604));
        QCOMPARE(st.st_mtim.tv_sec, time_t(1100000000));
        QCOMPARE(st.st_mtim.tv_nsec, 987654321L);
        QCOMPARE(Leftovers(box.filePath("out"), {"pic.jpg"}), QStringList());
    }

    void failedMoveAcrossFilesystemsKeepsSource_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("code");
        QTest::newRow("disk full") << int(fosWrite) << ENOSPC;
        QTest::newRow("flush fails") << int(fosSyncData) << EIO;
        QTest::newRow("folder flush fails") << int(fosSyncFolder) << EIO;
    }
    void failedMoveAcrossFilesystemsKeepsSource() {
        QFETCH(int, step);
        QFETCH(int, code);
        TSandbox box;
        TShmSandbox shm;
        if (!OnDifferentDevices(box.path(), shm.path()))
            QSKIP("/dev/shm lies on the sandbox's filesystem");
        const QByteArray data = RandomBytes(2 * 1024 * 1024);
        const QString source = shm.filePath("pic.jpg");
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(data);
        }
        const QString target = box.writeFile("out/pic.jpg", "old picture");
        Fake->OnFileOpFault = [&](TFileOpStep at, const QString&) { return at == step ? code : 0; };
        QCOMPARE(ShellMoveFile(nullptr, source, target), forFailed);
        QCOMPARE(ReadAll(source), data);
        QCOMPARE(ErrorTexts.size(), 1);
        QVERIFY(ErrorTexts[0].startsWith(QStringLiteral("ファイルを移動できません。")));
        QVERIFY(ErrorTexts[0].contains(QString::fromLocal8Bit(strerror(code))));
        if (step != fosSyncFolder)
            QCOMPARE(ReadAll(target), QByteArray("old picture"));
        QCOMPARE(Leftovers(box.filePath("out"), {"pic.jpg"}), QStringList());
    }

    void cancelledMoveAcrossFilesystemsKeepsSource() {
        TSandbox box;
        TShmSandbox shm;
        const QByteArray data = RandomBytes(3 * 1024 * 1024);
        const QString source = box.writeFile("pic.jpg", data);
        const QString target = shm.filePath("out/pic.jpg");
        if (!OnDifferentDevices(box.path(), shm.path()))
            QSKIP("/dev/shm lies on the sandbox's filesystem");
        TFileOpContext context;
        TFileOpError error;
        int writes = 0;
        // The user cancels once part of the copy is written.
        Fake->OnFileOpFault = [&](TFileOpStep step, const QString&) {
            if (step == fosWrite && ++writes == 2)
                context.Cancelled = true;
            return 0;
        };
        context.Services = Fake.Services();
        QCOMPARE(MoveFileReplacing(source, target, context, error), forCancelled);
        QCOMPARE(ReadAll(source), data);
        QCOMPARE(Leftovers(shm.filePath("out"), {}), QStringList());
    }

    // A move killed part-way (power cut, crash) never loses the picture: the
    // source stays until the target is complete, and the old target stays
    // until the new one is.
    void killedMoveKeepsSource_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("call");
        QTest::addColumn<bool>("targetComplete");
        QTest::newRow("half-way through the copy") << int(fosWrite) << 2 << false;
        QTest::newRow("before the rename") << int(fosRename) << 1 << false;
        QTest::newRow("copy done, source not yet removed") << int(fosRemoveSource) << 1 << true;
    }
    void killedMoveKeepsSource() {
        QFETCH(int, step);
        QFETCH(int, call);
        QFETCH(bool, targetComplete);
        TSandbox box;
        TShmSandbox shm;
        if (!OnDifferentDevices(box.path(), shm.path()))
            QSKIP("/dev/shm lies on the sandbox's filesystem");
        const QByteArray data = RandomBytes(3 * 1024 * 1024);
        const QString source = shm.filePath("pic.jpg");
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(data);
        }
        const QString target = box.writeFile("out/pic.jpg", "old picture");

        QProcess helper;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VELMO_FILEOPS_HELPER", "move");
        env.insert("VELMO_SOURCE", source);
        env.insert("VELMO_TARGET", target);
        env.insert("VELMO_STOP_STEP", QString::number(step));
        env.insert("VELMO_STOP_CALL", QString::number(call));
        helper.setProcessEnvironment(env);
        helper.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(helper.waitForStarted());
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += helper.readAllStandardOutput()).contains("STOPPED"),
                                 20000);
        helper.kill();
        QVERIFY(helper.waitForFinished(10000));

        QCOMPARE(ReadAll(source), data);
        QCOMPARE(ReadAll(target), targetComplete ? data : QByteArray("old picture"));
        // The rename step stops with the finished copy under its temporary
        // name; a kill there is the only case that leaves one behind.
        if (step != fosRename)
            QCOMPARE(Leftovers(box.filePath("out"), {"pic.jpg"}), QStringList());
    }

    // ---- delete for good ----------------------------------------------------

    void deleteForGood() {
        TSandbox box;
        const QString path = box.writeFile("pic.jpg", "x");
        QVERIFY(DeleteFileForGood(path));
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(!DeleteFileForGood(path)); // silently nothing
        QVERIFY(ErrorTexts.isEmpty());
    }
};

int main(int argc, char** argv) {
    const QByteArray helper = qgetenv("VELMO_FILEOPS_HELPER");
    if (!helper.isEmpty()) {
        QCoreApplication app(argc, argv);
        return RunFileOpsHelper(helper);
    }
    QApplication app(argc, argv);
    TestFileOps test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_fileops.moc"
