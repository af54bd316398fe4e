// When pictures were taken, read from their files, and the list's date order.
#include "support/JpegWriter.h"
#include "support/MainWindowFixture.h"
#include "support/TestSupport.h"
#include "toolkit/TakenTime.h"

#include <QAction>
#include <QDateTime>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QStandardPaths>
#include <QTimeZone>
#include <QtTest>

namespace {
qint64 Utc(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs).toMSecsSinceEpoch();
}
} // namespace

class TestTakenTime : public QObject {
    Q_OBJECT
private slots:
    // The date written into a file's Exif block, read back from the file.
    void readFromFiles_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<qint64>("taken"); // -1: none
        const QByteArray jpeg = JpegOf(Gradient(QSize(16, 8)));
        const auto exif = [&](const char* d, const char* s, const char* o, bool mm = false) {
            return WithApp1(jpeg, ExifTakenBlock(d, s, o, mm));
        };
        QTest::newRow("offset +09:00, sub-seconds")
            << exif("2024:05:01 13:45:10", "25", "+09:00") << Utc("2024-05-01T04:45:10.250Z");
        QTest::newRow("offset -05:30, Motorola order")
            << exif("2024:05:01 13:45:10", "7", "-05:30", true) << Utc("2024-05-01T19:15:10.700Z");
        QTest::newRow("three sub-second digits of more")
            << exif("2023:12:31 23:59:59", "123456", "+00:00") << Utc("2023-12-31T23:59:59.123Z");
        QTest::newRow("no offset: local time")
            << exif("2022:02:02 02:02:02", "", "")
            << QDateTime(QDate(2022, 2, 2), QTime(2, 2, 2)).toMSecsSinceEpoch();
        QTest::newRow("blank date") << exif("    :  :     :  :  ", "", "+09:00") << qint64(-1);
        QTest::newRow("no Exif block") << jpeg << qint64(-1);
        QTest::newRow("raw file (a TIFF)")
            << ExifTakenBlock("2021:07:07 07:07:07", "5", "+02:00").mid(6)
            << Utc("2021-07-07T05:07:07.500Z");
        QTest::newRow("cut short") << exif("2024:05:01 13:45:10", "", "").left(40) << qint64(-1);
    }
    void readFromFiles() {
        QFETCH(QByteArray, file);
        QFETCH(qint64, taken);
        TSandbox box;
        const QString path = box.path() + "/p.jpg";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(file) == file.size());
        f.close();
        const std::optional<qint64> read = ReadTakenTime(path);
        QCOMPARE(read.value_or(-1), taken);
    }

    // A HEIF picture keeps its Exif block as an item of its own.
    void readFromHeif() {
        if (QStandardPaths::findExecutable("heif-enc").isEmpty())
            QSKIP("heif-enc (libheif-examples) is not installed");
        TSandbox box;
        const QString jpeg =
            box.writeFile("a.jpg", WithApp1(JpegOf(Gradient(QSize(64, 48))),
                                            ExifTakenBlock("2024:05:01 13:45:10", "5", "+09:00")));
        const QString heic = box.filePath("a.heic");
        QCOMPARE(QProcess::execute("heif-enc", {"-q", "50", "-o", heic, jpeg}), 0);
        QCOMPARE(ReadTakenTime(heic).value_or(-1), Utc("2024-05-01T04:45:10.500Z"));
    }

    // Facts in name order and the order they are listed in.
    void order_data() {
        QTest::addColumn<QList<qint64>>("taken"); // -1: not known
        QTest::addColumn<QList<qint64>>("modified");
        QTest::addColumn<QList<int>>("order");
        QTest::newRow("two cameras interleave")
            << QList<qint64>{10, 30, 20, 40} << QList<qint64>{0, 0, 0, 0} << QList<int>{0, 2, 1, 3};
        QTest::newRow("missing dates go by the change time")
            << QList<qint64>{50, -1, 10} << QList<qint64>{0, 30, 0} << QList<int>{2, 1, 0};
        QTest::newRow("equal times: change time, then name")
            << QList<qint64>{10, 10, 10} << QList<qint64>{5, 1, 5} << QList<int>{1, 0, 2};
    }
    void order() {
        QFETCH(QList<qint64>, taken);
        QFETCH(QList<qint64>, modified);
        QFETCH(QList<int>, order);
        std::vector<TTakenFacts> facts;
        for (qsizetype i = 0; i < taken.size(); ++i)
            facts.push_back(
                {taken[i] < 0 ? std::nullopt : std::optional<qint64>(taken[i]), modified[i]});
        const std::vector<int> got = TakenOrder(facts);
        QCOMPARE(QList<int>(got.begin(), got.end()), order);
    }

    // A camera's and a phone's shots interleave once the dates are read; the
    // picture on show stays, and name order comes back from the menu.
    void windowSettlesOnThePictureShown() {
        TMainWindowFixture f;
        const QByteArray jpeg = JpegOf(Gradient(QSize(16, 8)));
        const QList<std::pair<const char*, const char*>> shots = {
            {"CAM_0001.jpg", "2024:05:01 10:00:00"},
            {"CAM_0002.jpg", "2024:05:01 12:00:00"},
            {"IMG_0001.jpg", "2024:05:01 11:00:00"},
            {"IMG_0002.jpg", "2024:05:01 09:00:00"}};
        for (const auto& [name, date] : shots)
            f.Sandbox.writeFile("pics/" + QString(name), WithApp1(jpeg, ExifTakenBlock(date)));
        f.WriteIni(QStringLiteral("[PATH]\nCurrentPath=%1\nCurrentFile=%1/IMG_0001.jpg\n"
                                  "[OTHER]\nOrder=1\n")
                       .arg(f.Pics));
        TfrmVelmo& w = f.Open();
        QTRY_VERIFY_WITH_TIMEOUT(w.OrderSettled(), 5000);
        const QStringList dated = {"IMG_0002.jpg", "CAM_0001.jpg", "IMG_0001.jpg", "CAM_0002.jpg"};
        QCOMPARE(f.ListItems(), dated);
        QCOMPARE(w.ShownIndex, 2);
        QCOMPARE(w.lstFile->currentRow(), 2);
        QVERIFY(w.actOrderTaken->isChecked());
        w.actOrderName->trigger();
        QCOMPARE(f.ListItems(),
                 QStringList({"CAM_0001.jpg", "CAM_0002.jpg", "IMG_0001.jpg", "IMG_0002.jpg"}));
        QCOMPARE(w.ShownIndex, 2);
        QCOMPARE(IniRec.Order, 0);
    }
};

QTEST_MAIN(TestTakenTime)
#include "test_takentime.moc"
