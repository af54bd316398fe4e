// Every test runs in a home and XDG folders of its own (tests/sandbox.sh):
// nothing a test writes reaches the folders of whoever runs the tests.
#include <QDir>
#include <QStandardPaths>
#include <QtTest>

#include <pwd.h>
#include <unistd.h>

class TestSandbox : public QObject {
    Q_OBJECT
private slots:
    void ownFolders() {
        if (!qEnvironmentVariableIsSet("VELMO_BUILD_DIR"))
            QSKIP("run by CTest, which gives each test its folders");
        const QString home = QDir::homePath();
        QVERIFY(home != QString::fromLocal8Bit(::getpwuid(::getuid())->pw_dir));
        QVERIFY(QDir(home).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        const QString box = QFileInfo(home).path() + '/';
        for (auto where :
             {QStandardPaths::GenericConfigLocation, QStandardPaths::GenericDataLocation,
              QStandardPaths::GenericCacheLocation, QStandardPaths::RuntimeLocation})
            QVERIFY(QStandardPaths::writableLocation(where).startsWith(box));
        QVERIFY(qEnvironmentVariable("XDG_STATE_HOME").startsWith(box));
        QVERIFY(!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"));
    }
};

QTEST_GUILESS_MAIN(TestSandbox)
#include "test_sandbox.moc"
