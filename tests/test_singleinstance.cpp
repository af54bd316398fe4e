// Single instance across real processes: this test program starts copies of
// itself in a helper mode to play the other copy.
#include "platform/SingleInstance.h"

#include "platform/FileName.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Helper modes, run as "test_singleinstance --helper MODE KEY [ARGUMENT]":
//   second   try to start, handing over ARGUMENT when given; exit 0 when
//            another copy took the request, 3 when primary
//   primary  become primary, print "primary", then print "activated" and exit
//            0 on the first request (exit 4 after 20 s without one)
int RunHelper(const QString& mode, const QString& key, const char* argument) {
    TSingleInstance instance(key);
    std::optional<QString> handed;
    if (argument)
        handed = AbsoluteStartArgument(argument);
    const bool primary = instance.TryBecomePrimary(handed);
    if (mode == QLatin1String("second"))
        return primary ? 3 : 0;
    if (!primary)
        return 5;
    instance.Serve();
    QObject::connect(&instance, &TSingleInstance::ActivateRequested, [] {
        fputs("activated\n", stdout);
        fflush(stdout);
        QCoreApplication::exit(0);
    });
    fputs("primary\n", stdout);
    fflush(stdout);
    QTimer::singleShot(20000, [] { QCoreApplication::exit(4); });
    return QCoreApplication::exec();
}

QString UniqueKey(const char* tag) {
    static int counter = 0;
    return QStringLiteral("velmo-test-%1-%2-%3")
        .arg(QCoreApplication::applicationPid())
        .arg(QLatin1String(tag))
        .arg(++counter);
}

// Where QLocalServer puts a name without a folder.
QString SocketPath(const QString& key) {
    return QDir::tempPath() + QLatin1Char('/') + key;
}

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

    QProcess* StartHelper(const QString& mode, const QString& key) {
        auto* p = new QProcess(this);
        p->setProgram(QCoreApplication::applicationFilePath());
        p->setArguments({QStringLiteral("--helper"), mode, key});
        p->start();
        return p;
    }

    // Collects the helper's output until it holds the line or the helper ends.
    static bool WaitForLine(QProcess* p, const QByteArray& line) {
        auto seen = [p, &line] {
            p->setProperty("out", p->property("out").toByteArray() + p->readAllStandardOutput());
            return p->property("out").toByteArray().contains(line + '\n');
        };
        (void)QTest::qWaitFor([&] { return seen() || p->state() == QProcess::NotRunning; }, 10000);
        return seen() && p->state() == QProcess::Running;
    }

private slots:
    void defaultKeyIsPerUser() {
        const QString key = DefaultInstanceKey();
        QVERIFY(key.startsWith(QLatin1String("hPrevCalendar")));
        QVERIFY(key.endsWith(QString::number(::getuid())));
    }

    // The first copy runs; a second start asks it to come forward and ends.
    void secondProcessActivatesFirst() {
        const QString key = UniqueKey("first");
        TSingleInstance first(key);
        QVERIFY(first.TryBecomePrimary());
        first.Serve();
        QSignalSpy spy(&first, &TSingleInstance::ActivateRequested);

        QProcess* second = StartHelper(QStringLiteral("second"), key);
        QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, 10000);
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);

        // Each further start is answered as well.
        QProcess* third = StartHelper(QStringLiteral("second"), key);
        QTRY_COMPARE_WITH_TIMEOUT(third->state(), QProcess::NotRunning, 10000);
        QCOMPARE(third->exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 5000);
    }

    // This process as the later start: the running copy (another process)
    // receives the request and we are told to end.
    void laterStartInThisProcessIsRefused() {
        const QString key = UniqueKey("later");
        QProcess* primary = StartHelper(QStringLiteral("primary"), key);
        QVERIFY(WaitForLine(primary, "primary"));

        TSingleInstance later(key);
        QVERIFY(!later.TryBecomePrimary());
        QVERIFY(!later.IsPrimary());
        QVERIFY(primary->waitForFinished(10000));
        QCOMPARE(primary->exitCode(), 0);
        QVERIFY((primary->property("out").toByteArray() + primary->readAllStandardOutput())
                    .contains("activated\n"));
    }

    // A copy killed without cleaning up leaves its socket file behind; the
    // next start takes the name over and answers later starts itself.
    void staleSocketOfCrashedCopyIsTakenOver() {
        const QString key = UniqueKey("crash");
        QProcess* crashed = StartHelper(QStringLiteral("primary"), key);
        QVERIFY(WaitForLine(crashed, "primary"));
        crashed->kill(); // SIGKILL: no chance to remove the socket
        QVERIFY(crashed->waitForFinished(10000));
        QVERIFY2(QFileInfo::exists(SocketPath(key)), qPrintable(SocketPath(key)));

        TSingleInstance next(key);
        QVERIFY(next.TryBecomePrimary());
        next.Serve();
        QSignalSpy spy(&next, &TSingleInstance::ActivateRequested);
        QProcess* second = StartHelper(QStringLiteral("second"), key);
        QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, 10000);
        QCOMPARE(second->exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
    }

    // A relative argument with a name that is not UTF-8 reaches the running
    // copy as the exact absolute path, then the activation. A copy that does
    // not answer yet (not serving: busy or hung) does not hold the later
    // start up; the request waits until the copy gets to it.
    void argumentHandedOverExactly() {
        const QString key = UniqueKey("arg");
        TSingleInstance first(key);
        QVERIFY(first.TryBecomePrimary());
        QSignalSpy opened(&first, &TSingleInstance::OpenRequested);
        QSignalSpy activated(&first, &TSingleInstance::ActivateRequested);
        QTemporaryDir dir;
        auto* second = new QProcess(this);
        second->setWorkingDirectory(dir.path());
        second->start(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"),
             QStringLiteral("exec \"$0\" --helper second \"$1\" \"$(printf 'p/\\351.png')\""),
             QCoreApplication::applicationFilePath(), key});
        QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, 10000);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(opened.count(), 0);

        first.Serve();
        QTRY_COMPARE_WITH_TIMEOUT(activated.count(), 1, 5000);
        QCOMPARE(opened.count(), 1);
        QCOMPARE(PathToBytes(opened.at(0).at(0).toString()),
                 PathToBytes(QDir(dir.path()).canonicalPath()) + "/p/\xe9.png");
    }

    // A copy that is quitting closes the connection without answering, then
    // gives up its name: the later start runs itself.
    void quittingCopyLeavesTheNameToTheLaterStart() {
        const QString key = UniqueKey("quit");
        QLocalServer quitting;
        QVERIFY(quitting.listen(key));
        connect(&quitting, &QLocalServer::newConnection, &quitting, [&quitting] {
            delete quitting.nextPendingConnection();
            quitting.close();
        });
        QProcess* second = StartHelper(QStringLiteral("second"), key);
        QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, 10000);
        QCOMPARE(second->exitCode(), 3);
    }

    // A socket file nobody listens on (made by hand, as a crash leaves it).
    void staleSocketFileIsRemoved() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("velmo.sock"));
        {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            QVERIFY(fd >= 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            const QByteArray p = QFile::encodeName(path);
            memcpy(addr.sun_path, p.constData(), p.size());
            QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
            ::close(fd);
        }
        QVERIFY(QFileInfo::exists(path));

        TSingleInstance instance(path);
        QVERIFY(instance.TryBecomePrimary());
        QVERIFY(instance.IsPrimary());
        QLocalSocket client;
        client.connectToServer(path);
        QVERIFY(client.waitForConnected(2000));
    }

    void bringWindowToFrontRestoresMinimised() {
        QWidget window;
        window.showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(window.isMinimized(), 2000);
        BringWindowToFront(&window);
        QVERIFY(!window.isMinimized());
        QVERIFY(window.isVisible());
    }
};

int main(int argc, char* argv[]) {
    if ((argc == 4 || argc == 5) && qstrcmp(argv[1], "--helper") == 0) {
        QCoreApplication app(argc, argv);
        return RunHelper(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                         argc == 5 ? argv[4] : nullptr);
    }
    QApplication app(argc, argv);
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_singleinstance.moc"
