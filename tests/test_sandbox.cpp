// Every test runs in a home and XDG folders of its own (tests/sandbox.sh):
// nothing a test writes reaches the folders of whoever runs the tests.
#include <QDir>
#include <QFileInfo>
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
        const passwd* account = ::getpwuid(::getuid());
        const QString home = QDir::homePath();
        QVERIFY2(account && home != QString::fromLocal8Bit(account->pw_dir), qPrintable(home));
        QVERIFY2(QDir(home).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 qPrintable(home));
        const QString box = QFileInfo(home).path() + '/';
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                 "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
            const QString folder = qEnvironmentVariable(name);
            QVERIFY2(folder.startsWith(box) && QFileInfo(folder).isDir(), name);
        }
        // Where Qt itself writes (its file dialogs' memory, say) is in the box.
        for (auto where :
             {QStandardPaths::GenericConfigLocation, QStandardPaths::GenericDataLocation,
              QStandardPaths::GenericCacheLocation, QStandardPaths::RuntimeLocation})
            QVERIFY(QStandardPaths::writableLocation(where).startsWith(box));
        QVERIFY(!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"));
    }
};

QTEST_GUILESS_MAIN(TestSandbox)
#include "test_sandbox.moc"
