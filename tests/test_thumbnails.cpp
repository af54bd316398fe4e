// Thumbnails in the desktop's shared cache: names, keys another reader sees,
// a changed picture, a failure, and the list that shows them.
#include "app/ThumbnailList.h"
#include "platform/FileName.h"
#include "support/JpegWriter.h"
#include "support/MainWindowFixture.h"
#include "toolkit/Thumbnails.h"

#include <QListWidget>
#include <QProcess>
#include <QtTest>

#include <utime.h>

class TestThumbnails : public QObject {
    Q_OBJECT
private slots:
    void names_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("uri");
        QTest::addColumn<QString>("file");
        QTest::newRow("the standard's example") << QByteArray("/home/jens/photos/me.png")
                                                << QByteArray("file:///home/jens/photos/me.png")
                                                << "c6ee772d9e49320e97ec29a7eb5b1697.png";
        QTest::newRow("space and Japanese")
            << QByteArray("/tmp/a b/写真.jpg")
            << QByteArray("file:///tmp/a%20b/%E5%86%99%E7%9C%9F.jpg") << "";
        QTest::newRow("a legacy byte and a kept sign")
            << QByteArray("/tmp/\x89@(1)#.jpg") << QByteArray("file:///tmp/%89@(1)%23.jpg") << "";
    }
    void names() {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, uri);
        QFETCH(QString, file);
        QCOMPARE(ThumbnailUri(PathFromBytes(path)), uri);
        if (!file.isEmpty())
            QCOMPARE(ThumbnailFileName(uri), file);
    }

    // Written by Velmo, read by ImageMagick; a new change time makes a new
    // one; a picture that cannot be read is recorded as a failure.
    void cacheSharedBothWays() {
        TSandbox box;
        const QString pic = box.writeFile("a.jpg", JpegOf(Gradient(QSize(400, 200))));
        const QString broken = box.writeFile("b.jpg", QByteArray("\xFF\xD8 not a picture"));
        const QString normal =
            ThumbnailCacheDir() + "/normal/" + ThumbnailFileName(ThumbnailUri(pic));
        const QImage made = ThumbnailFor(pic);
        QCOMPARE(made.size(), QSize(128, 64));
        QProcess identify;
        identify.start("identify", {"-format", "%[Thumb::URI]|%[Thumb::MTime]|%wx%h", normal});
        QVERIFY(identify.waitForFinished(20000));
        const qint64 mtime = QFileInfo(pic).lastModified().toSecsSinceEpoch();
        QCOMPARE(QString(identify.readAllStandardOutput()),
                 QString(ThumbnailUri(pic)) + "|" + QString::number(mtime) + "|128x64");
        QCOMPARE(int(QFile(normal).permissions() & 0x77), 0); // the user's alone
        QVERIFY(!CachedThumbnail(pic, mtime).isNull());

        // The picture changes: the old thumbnail no longer counts.
        QFile(pic).remove();
        box.writeFile("a.jpg", JpegOf(Gradient(QSize(100, 200))));
        const utimbuf later{mtime + 10, mtime + 10};
        ::utime(PathToBytes(pic).constData(), &later);
        QVERIFY(CachedThumbnail(pic, mtime + 10).isNull());
        QCOMPARE(ThumbnailFor(pic).size(), QSize(64, 128));

        QVERIFY(ThumbnailFor(broken).isNull());
        QVERIFY(QFile::exists(ThumbnailCacheDir() + "/fail/velmo-1/" +
                              ThumbnailFileName(ThumbnailUri(broken))));
    }

    // The list made thumbnails of what it showed and kept no more than it may.
    void listShowsThumbnails() {
        TMainWindowFixture f;
        f.MakePictures(40);
        f.WriteIni(QStringLiteral("[PATH]\nCurrentPath=%1\n[OTHER]\nThumbnails=1\n").arg(f.Pics));
        TfrmVelmo& w = f.Open();
        QTRY_VERIFY_WITH_TIMEOUT(w.Thumbs->Held() > 0 && w.Thumbs->Pending() == 0, 10000);
        const int rows = w.lstFile->viewport()->height() /
                         w.lstFile->visualItemRect(w.lstFile->item(0)).height();
        // The rows on screen and the screenful after them, not the whole folder.
        QVERIFY2(w.Thumbs->Held() >= rows && w.Thumbs->Held() <= 2 * (rows + 1) + 1,
                 qPrintable(QString::number(w.Thumbs->Held())));
        QVERIFY(QFile::exists(ThumbnailCacheDir() + "/normal/" +
                              ThumbnailFileName(ThumbnailUri(f.Pics + "/p00.bmp"))));
    }
};

QTEST_MAIN(TestThumbnails)
#include "test_thumbnails.moc"
