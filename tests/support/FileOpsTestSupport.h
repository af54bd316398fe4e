#pragma once

#include "support/FakePlatform.h"
#include "support/TestSupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/stat.h>

// Shared by the file operation tests.

// For one test: the file service's message texts go to errorTexts (its
// caption checked), no progress dialog, no fault points.
void PrepareFileOpTest(TFakePlatformScope& fake, QStringList& errorTexts);

QByteArray RandomBytes(qsizetype size);
QByteArray ReadAll(const QString& path); // "<missing>" when it cannot be read
struct stat StatOf(const QString& path);
void SetTimes(const QString& path, time_t seconds, long nanoseconds);

// Everything in a folder but the names given: what an operation left behind.
QStringList Leftovers(const QString& folder, const QStringList& expected);

// A sandbox on another filesystem than the test's own sandbox.
class TShmSandbox {
public:
    TShmSandbox() : Dir(QStringLiteral("/dev/shm/velmo-fileops-XXXXXX")) {}
    bool isValid() const { return Dir.isValid(); }
    QString filePath(const QString& name) const { return Dir.filePath(name); }
    QString path() const { return Dir.path(); }

private:
    QTemporaryDir Dir;
};

bool OnDifferentDevices(const QString& a, const QString& b);

// The test programs run themselves as helper processes for the cases that
// need a process of their own (killed half-way, or in a private mount
// namespace): VELMO_FILEOPS_HELPER names the operation ("copy", "move",
// "trash"), VELMO_SOURCE and VELMO_TARGET its paths, VELMO_STOP_STEP and
// VELMO_STOP_CALL where it stops for good.
int RunFileOpsHelper(const QByteArray& mode);

// Runs the helper in a private mount namespace after `setup` (shell
// commands, with $1 the sandbox), then `after`; returns all it printed.
QString RunInPrivateMounts(const QString& sandbox, const QString& setup, const QString& after,
                           const QString& source, const QString& target,
                           const QString& mode = QStringLiteral("copy"));

// Root (of the system, or of a user namespace: see RunsAsRoot in TestSupport.h)
// and unshare -m are at hand.
bool CanUsePrivateMounts();

// Environment and working folder changes undone at the end of a test.
class TEnvironment {
public:
    explicit TEnvironment(const TSandbox& box) : Cwd(QDir::currentPath()) {
        set("HOME", box.path());
    }
    ~TEnvironment() {
        for (auto it = Saved.cbegin(); it != Saved.cend(); ++it) {
            if (it.value().isNull())
                qunsetenv(it.key().constData());
            else
                qputenv(it.key().constData(), it.value());
        }
        QDir::setCurrent(Cwd);
    }
    void set(const QByteArray& name, const QString& value) {
        if (!Saved.contains(name))
            Saved.insert(name, qEnvironmentVariableIsSet(name.constData())
                                   ? qgetenv(name.constData())
                                   : QByteArray());
        qputenv(name.constData(), QFile::encodeName(value));
    }
    void chdir(const QString& folder) { QDir::setCurrent(folder); }

private:
    QString Cwd;
    QMap<QByteArray, QByteArray> Saved;
};
