#include "platform/Common.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {
// A mountinfo line for `point` (already escaped as the kernel does).
QByteArray MountLine(int id, const QByteArray& point, const QByteArray& type,
                     const QByteArray& source = "src") {
    return QByteArray::number(id) + " 1 0:" + QByteArray::number(id) + " / " + point +
           " rw,relatime shared:1 - " + type + " " + source + " rw\n";
}

QByteArray Escaped(const QString& path) {
    QByteArray out;
    for (char c : QFile::encodeName(path)) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\')
            out += '\\' + QByteArray::number(int(uchar(c)), 8).rightJustified(3, '0');
        else
            out += c;
    }
    return out;
}

// The test program runs itself as a helper for the cases that need a process
// of their own.
int RunHelper(const QByteArray& mode) {
    const QString path = qEnvironmentVariable("VELMO_PATH");
    if (mode == "hang") {
        // A network mount whose server never answers: the answer must come
        // and the process must still end.
        static TFakePlatformScope fake;
        fake->MountTable = qEnvironmentVariable("VELMO_MOUNTS");
        fake->DriveTimeout = 200;
        fake->OnProbeDrive = [](const QString&) {
            for (;;)
                ::pause();
        };
    }
    const bool ready = IsDriveReady(path);
    std::printf("DRIVE %s\nREADY %d\n", qPrintable(DrivePart(path)), int(ready));
    std::fflush(stdout);
    return 0;
}

bool CanUsePrivateMounts() {
    if (::geteuid() != 0)
        return false;
    QProcess probe;
    probe.start("unshare", {"-m", "--propagation", "private", "true"});
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}
} // namespace

class TestDriveCheck : public QObject {
    Q_OBJECT

    TFakePlatformScope Fake;

private slots:
    void init() { Fake.Reset(); }

    void decodeMountField_data() {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("plain") << QByteArray("/mnt/cd") << "/mnt/cd";
        QTest::newRow("blank") << QByteArray("/mnt/my\\040disk") << "/mnt/my disk";
        QTest::newRow("tab and newline") << QByteArray("/a\\011b\\012c") << "/a\tb\nc";
        QTest::newRow("backslash") << QByteArray("/a\\134b") << "/a\\b";
        QTest::newRow("utf-8 bytes") << QByteArray("/mnt/\\343\\201\\202") << "/mnt/あ";
        QTest::newRow("escape cut short") << QByteArray("/a\\04") << "/a\\04";
        QTest::newRow("not octal") << QByteArray("/a\\089") << "/a\\089";
        QTest::newRow("escape at the end") << QByteArray("/a\\040") << "/a ";
    }
    void decodeMountField() {
        QFETCH(QByteArray, field);
        QFETCH(QString, decoded);
        QCOMPARE(DecodeMountField(field), decoded);
    }

    void parseMountInfo() {
        const QByteArray text =
            "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
            "30 22 0:40 / /mnt/net\\040share rw - nfs4 server:/export rw,vers=4.2\n"
            "31 22 11:0 / /media/cd ro,relatime shared:7 master:2 - iso9660 /dev/sr0 ro\n"
            "broken line\n"
            "\n"
            "32 22 0:41 / /x rw no-separator-here ext4 /dev/sdb1 rw\n"
            "33 22 0:42 / /tmp rw - tmpfs tmpfs rw";
        const QList<TMountEntry> table = ParseMountInfo(text);
        QCOMPARE(table.size(), 4);
        QCOMPARE(table[0].MountPoint, QStringLiteral("/"));
        QCOMPARE(table[0].FsType, QStringLiteral("ext4"));
        QCOMPARE(table[0].Source, QStringLiteral("/dev/sda1"));
        QCOMPARE(table[1].MountPoint, QStringLiteral("/mnt/net share"));
        QCOMPARE(table[1].FsType, QStringLiteral("nfs4"));
        QCOMPARE(table[1].Source, QStringLiteral("server:/export"));
        QCOMPARE(table[2].MountPoint, QStringLiteral("/media/cd"));
        QCOMPARE(table[2].FsType, QStringLiteral("iso9660"));
        QCOMPARE(table[3].MountPoint, QStringLiteral("/tmp"));
    }

    void drivePart_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("drive");
        QTest::newRow("root itself") << "/"
                                     << "/";
        QTest::newRow("on the root") << "/etc/passwd"
                                     << "/";
        QTest::newRow("mount point itself") << "/home"
                                            << "/home";
        QTest::newRow("longest prefix wins") << "/home/user/pics/a.jpg"
                                             << "/home/user/pics";
        QTest::newRow("middle mount") << "/home/user/docs"
                                      << "/home/user";
        QTest::newRow("whole names only") << "/home/username/a.jpg"
                                          << "/home";
        QTest::newRow("blank in mount point") << "/mnt/my disk/a.jpg"
                                              << "/mnt/my disk";
        QTest::newRow("blank prefix is not the mount") << "/mnt/my diskette"
                                                       << "/";
        QTest::newRow("dots cleaned first") << "/home/user/pics/../x.jpg"
                                            << "/home/user";
        QTest::newRow("doubled slashes") << "//home//user/pics//a.jpg"
                                         << "/home/user/pics";
        QTest::newRow("trailing slash") << "/home/user/"
                                        << "/home/user";
    }
    void drivePart() {
        QFETCH(QString, path);
        QFETCH(QString, drive);
        const QList<TMountEntry> table =
            ParseMountInfo(MountLine(1, "/", "ext4") + MountLine(2, "/home/user/pics", "ext4") +
                           MountLine(3, "/home", "xfs") + MountLine(4, "/home/user", "nfs") +
                           MountLine(5, "/mnt/my\\040disk", "vfat"));
        QCOMPARE(DrivePart(path, table), drive);
    }

    void drivePartOfRelativePathAndStackedMounts() {
        const QList<TMountEntry> table = ParseMountInfo(
            MountLine(1, "/", "ext4") + MountLine(2, Escaped(QDir::currentPath()), "vfat") +
            MountLine(3, "/media/cd", "ext4") + MountLine(4, "/media/cd", "iso9660"));
        QCOMPARE(DrivePart("pics/a.jpg", table), QDir::currentPath());
        // Of two mounts on one point the later lies on top.
        QCOMPARE(table[FindMount(table, "/media/cd/a.jpg")].FsType, QStringLiteral("iso9660"));
    }

    // A chroot's table may lack "/": a path under no listed mount lies on
    // the root, and is checked there.
    void drivePartWithoutRootInTable() {
        TSandbox box;
        const QList<TMountEntry> table =
            ParseMountInfo(MountLine(1, "/proc", "proc") + MountLine(2, "/dev/pts", "devpts"));
        QCOMPARE(DrivePart("/build/pics/a.jpg", table), QStringLiteral("/"));
        QCOMPARE(DrivePart("/proc/self", table), QStringLiteral("/proc"));
        QCOMPARE(DrivePart("/x", {}), QStringLiteral("/"));
        Fake->MountTable = box.writeFile("mountinfo", MountLine(1, "/proc", "proc"));
        QCOMPARE(DrivePart(box.path()), QStringLiteral("/"));
        QVERIFY(IsDriveReady(box.path()));
        QVERIFY(!IsDriveReady(box.filePath("none")));
    }

    void mediumKind_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("kind");
        QTest::newRow("ext4") << "ext4" << int(mkLocal);
        QTest::newRow("tmpfs") << "tmpfs" << int(mkLocal);
        QTest::newRow("vfat card") << "vfat" << int(mkLocal);
        QTest::newRow("nfs") << "nfs" << int(mkNetwork);
        QTest::newRow("nfs4") << "nfs4" << int(mkNetwork);
        QTest::newRow("cifs") << "cifs" << int(mkNetwork);
        QTest::newRow("smb3") << "smb3" << int(mkNetwork);
        QTest::newRow("sshfs") << "fuse.sshfs" << int(mkNetwork);
        QTest::newRow("9p") << "9p" << int(mkNetwork);
        QTest::newRow("iso9660") << "iso9660" << int(mkOptical);
        QTest::newRow("udf") << "udf" << int(mkOptical);
    }
    void mediumKind() {
        QFETCH(QString, type);
        QFETCH(int, kind);
        QCOMPARE(int(MediumKind(type)), kind);
    }

    void readyOnTheRealTable() {
        TSandbox box;
        QVERIFY(IsDriveReady("/"));
        QVERIFY(IsDriveReady(box.path()));
        QVERIFY(!IsDriveReady(box.filePath("no such folder")));
        QVERIFY(!IsDriveReady(QString()));
        QCOMPARE(DrivePart("/"), QStringLiteral("/"));
    }

    // A network or optical mount is ready exactly when its root lists an
    // entry: an empty drive (no disc, a share that came up empty) is not.
    void readyWhenRootHasEntries_data() {
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("nfs") << QByteArray("nfs");
        QTest::newRow("cifs") << QByteArray("cifs");
        QTest::newRow("optical") << QByteArray("iso9660");
        QTest::newRow("udf") << QByteArray("udf");
    }
    void readyWhenRootHasEntries() {
        QFETCH(QByteArray, type);
        TSandbox box;
        const QString root = box.makeDir("net share");
        const QString folder = box.makeDir("net share/pics");
        const QString mounts = box.writeFile("mountinfo", MountLine(1, "/", "ext4") +
                                                              MountLine(2, Escaped(root), type));
        Fake->MountTable = mounts;
        QCOMPARE(DrivePart(folder), root);

        QVERIFY(IsDriveReady(folder)); // "pics" is an entry of the root
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(!IsDriveReady(root)); // an empty root
        box.writeFile("net share/.hidden", "x");
        QVERIFY(IsDriveReady(root)); // any entry counts
        // A local mount needs no entry at all.
        box.writeFile("mountinfo", MountLine(1, "/", "ext4") + MountLine(2, Escaped(root), "ext4"));
        QFile::remove(root + "/.hidden");
        QVERIFY(IsDriveReady(root));
    }

    // A server that does not answer gives "not ready" after the time-out; a
    // second question meanwhile does not pile up another stuck worker.
    void deadNetworkMountIsNotReady() {
        TSandbox box;
        const QString root = box.makeDir("net");
        box.writeFile("net/a.jpg", "x");
        Fake->MountTable = box.writeFile("mountinfo", MountLine(1, "/", "ext4") +
                                                          MountLine(2, Escaped(root), "nfs4"));
        Fake->DriveTimeout = 300;
        // Shared with the worker, which may outlive this test function.
        struct TGate {
            std::atomic<bool> Open{false};
            std::atomic<int> Calls{0};
        };
        auto gate = std::make_shared<TGate>();
        Fake->OnProbeDrive = [gate](const QString&) {
            ++gate->Calls;
            while (!gate->Open)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
        QVERIFY(!IsDriveReady(root));
        QTRY_COMPARE_WITH_TIMEOUT(gate->Calls.load(), 1, 5000);
        QVERIFY(!IsDriveReady(root + "/a.jpg"));
        QCOMPARE(gate->Calls.load(), 1);
        gate->Open = true; // the server comes back
        QTRY_VERIFY_WITH_TIMEOUT(IsDriveReady(root), 5000);
    }

    void hungWorkerDoesNotBlockExit() {
        TSandbox box;
        const QString root = box.makeDir("net");
        box.writeFile("net/a.jpg", "x");
        QProcess helper;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VELMO_DRIVECHECK_HELPER", "hang");
        env.insert("VELMO_PATH", root);
        env.insert("VELMO_MOUNTS",
                   box.writeFile("mountinfo",
                                 MountLine(1, "/", "ext4") + MountLine(2, Escaped(root), "nfs")));
        helper.setProcessEnvironment(env);
        helper.start(QCoreApplication::applicationFilePath(), QStringList());
        const bool ended = helper.waitForFinished(20000);
        if (!ended)
            helper.kill();
        QVERIFY(ended);
        QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(helper.exitCode(), 0);
        QVERIFY(helper.readAllStandardOutput().contains("READY 0"));
    }

    // A real mount, with a blank in its name, in a private mount namespace.
    void realTmpfsMount() {
        if (!RunsAsRoot())
            return;
        if (!CanUsePrivateMounts())
            QSKIP(NoPrivateMounts);
        TSandbox box;
        const QString point = box.makeDir("mnt point");
        QProcess helper;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VELMO_DRIVECHECK_HELPER", "real");
        env.insert("VELMO_PATH", point + "/sub");
        helper.setProcessEnvironment(env);
        helper.setProcessChannelMode(QProcess::MergedChannels);
        helper.start("unshare", {"-m", "--propagation", "private", "sh", "-c",
                                 "set -e; mount -t tmpfs tmpfs \"$1\"; mkdir \"$1/sub\"; \"$2\"",
                                 "sh", point, QCoreApplication::applicationFilePath()});
        QVERIFY(helper.waitForFinished(30000));
        const QString output = QString::fromLocal8Bit(helper.readAll());
        QVERIFY2(output.contains("DRIVE " + point + "\n"), qPrintable(output));
        QVERIFY2(output.contains("READY 1"), qPrintable(output));
        // Outside the namespace the folder is plain and its drive the sandbox's.
        QVERIFY(DrivePart(point) != point);
    }
};

int main(int argc, char** argv) {
    const QByteArray helper = qgetenv("VELMO_DRIVECHECK_HELPER");
    if (!helper.isEmpty()) {
        QCoreApplication app(argc, argv);
        return RunHelper(helper);
    }
    QCoreApplication app(argc, argv);
    TestDriveCheck test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_drivecheck.moc"
