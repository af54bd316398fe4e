#include "support/FileOpsTestSupport.h"

#include "platform/FileCopy.h"
#include "platform/FileMove.h"
#include "platform/FileOperation.h"
#include "platform/FileTrash.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

QByteArray RandomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(generator.generate() & 0xff);
    return bytes;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

struct stat StatOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

void SetTimes(const QString& path, time_t seconds, long nanoseconds) {
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

// Everything in a folder but the names given: what an operation left behind.
QStringList Leftovers(const QString& folder, const QStringList& expected) {
    QStringList left = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                              QDir::NoDotAndDotDot);
    for (const QString& name : expected)
        left.removeAll(name);
    return left;
}

bool OnDifferentDevices(const QString& a, const QString& b) {
    return StatOf(a).st_dev != StatOf(b).st_dev;
}

// The test program runs itself as a helper process for the cases that need a
// process of their own (killed half-way, or in a private mount namespace).
int RunFileOpsHelper(const QByteArray& mode) {
    const QString source = qEnvironmentVariable("VELMO_SOURCE");
    const QString target = qEnvironmentVariable("VELMO_TARGET");
    const int stopStep = qEnvironmentVariableIntValue("VELMO_STOP_STEP");
    const int stopCall = qEnvironmentVariableIntValue("VELMO_STOP_CALL");
    int calls = 0;
    TFakePlatformScope fake;
    if (qEnvironmentVariableIsSet("VELMO_STOP_STEP")) {
        fake->OnFileOpFault = [&](TFileOpStep step, const QString&) {
            if (step == stopStep && ++calls >= stopCall) {
                std::printf("STOPPED\n");
                std::fflush(stdout);
                for (;;)
                    ::pause();
            }
            return 0;
        };
    }
    fake->OnFileOpError = [](const QString& caption, const QString& text) {
        std::printf("ERROR %s\n%s\n", qPrintable(caption), qPrintable(text));
    };
    TFileOpResult result = forFailed;
    if (mode == "move")
        result = ShellMoveFile(nullptr, source, target);
    else if (mode == "copy")
        result = ShellCopyFile(nullptr, source, target);
    else if (mode == "trash")
        result = ShellDeleteToTrash(nullptr, source);
    std::printf("RESULT %d\n", int(result));
    std::fflush(stdout);
    return 0;
}

// Runs the helper in a private mount namespace after `setup` (shell
// commands, with $1 the sandbox), then prints what `after` shows.
QString RunInPrivateMounts(const QString& sandbox, const QString& setup, const QString& after,
                           const QString& source, const QString& target, const QString& mode) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VELMO_FILEOPS_HELPER", mode);
    env.insert("VELMO_SOURCE", source);
    env.insert("VELMO_TARGET", target);
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString script =
        QStringLiteral("set -e; ") + setup + QStringLiteral("; \"$2\"; ") + after;
    process.start("unshare", {"-m", "--propagation", "private", "sh", "-c", script, "sh", sandbox,
                              QCoreApplication::applicationFilePath()});
    if (!process.waitForFinished(60000))
        return QStringLiteral("<hung>");
    return QString::fromLocal8Bit(process.readAll());
}

bool CanUsePrivateMounts() {
    if (::geteuid() != 0)
        return false;
    QProcess probe;
    probe.start("unshare", {"-m", "--propagation", "private", "true"});
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

void PrepareFileOpTest(TFakePlatformScope& fake, QStringList& errorTexts) {
    fake.Reset();
    errorTexts.clear();
    fake->OnFileOpError = [&errorTexts](const QString& caption, const QString& text) {
        QCOMPARE(caption, QStringLiteral("ファイルの操作"));
        errorTexts << text;
    };
}
