#include "platform/FileNameRules.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"
#include "spi_plugins/SpiTestSupport.h"
#include "support/TestSupport.h"
#include "toolkit/Picture.h"

#include <QBuffer>
#include <QtTest>
#include <sys/stat.h>

namespace {

using TRecords = std::vector<TProgressRecord>;
const QRect None(0, 0, 0, 0);

QByteArray BitmapBytes(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(10, 200, 30));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return buffer.data();
}

// What a decode through plug-in a.spi (two callback steps) reports.
TRecords PluginReports(int triedOffsets, bool decoded) {
    TRecords r{{0, 0, false, None, "Loading Graphic by Susie Plugin"},
               {1, 1, false, None, "Seeking enabled Susie Plugins"}};
    for (int i = 0; i < triedOffsets; ++i)
        r.push_back({1, 1, false, None, "Loading by [a.spi]"});
    if (decoded) {
        r.push_back({1, 2, false, None, ""});
        r.push_back({1, 51, false, None, ""});
        r.push_back({1, 99, false, None, ""});
    }
    return r;
}

TRecords operator+(TRecords a, const TRecords& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

Q_DECLARE_METATYPE(TRecords)

class TestSPIBitmap : public QObject {
    Q_OBJECT
private slots:
    void registrationAndRemoval() {
        QVERIFY(!DefaultGraphicClass); // nothing registers behind the program's back
        RegisterSPIBitmap();
        QCOMPARE(DefaultGraphicClass, TSPIBitmap::StaticClass());
        TSandbox box;
        RegisterBuiltInGraphics();
        auto spis = MakeManager(box.path(), {{"vt_two", "a.spi"}});
        for (const char* ext : {"vtp", "vtq", "vtr"})
            QCOMPARE(TPicture::FileFormatClass(ext), TSPIBitmap::StaticClass());

        TPicture picture;
        picture.LoadFromFile(box.writeFile("x.VTQ", TestPictureData(6, 4, 24)));
        QCOMPARE(picture.Graphic()->ClassType(), TSPIBitmap::StaticClass());
        QCOMPARE(picture.Width(), 6);
        QCOMPARE(picture.Height(), 4);

        UnregisterSPIBitmap();
        QVERIFY(!TPicture::FileFormatClass("vtp"));
        QCOMPARE(TPicture::FileFormatClass("bmp"), TBitmap::StaticClass());
        RegisterSPIBitmap();
    }

    void loaderOrder_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("bitmapFirst");
        QTest::newRow("upper-case BMP") << "photo.BMP" << true;
        QTest::newRow("lower-case bmp") << "photo.bmp" << true;
        QTest::newRow("plug-in extension") << "photo.pic" << false;
        QTest::newRow("bmp inside the name") << "photo.bmp.pic" << false;
    }
    void loaderOrder() {
        QFETCH(QString, name);
        QFETCH(bool, bitmapFirst);
        TGraphicClass p = TSPIGraphic::StaticClass(), b = TBitmap::StaticClass();
        const bool isBmp = ExtractFileExt(name).toString().toUpper() == ".BMP";
        QCOMPARE(isBmp, bitmapFirst);
        const auto order = LoaderOrder(p, b, isBmp);
        QCOMPARE(order[0], bitmapFirst ? b : p);
        QCOMPARE(order[1], bitmapFirst ? p : b);
    }

    // The reports a loader of a TSPIBitmap sees, for each way a load can go.
    void progressSeen_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("loads");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<TRecords>("expected");
        const QByteArray picture = TestPictureData(7, 3, 24);
        const QByteArray bmp = BitmapBytes(5, 2);
        QTest::newRow("decoded by a plug-in")
            << "x.vtp" << picture << true << QSize(7, 3)
            << PluginReports(1, true) +
                   TRecords{{2, 100, true, QRect(0, 0, 7, 3), "Loaded Graphic"}};
        QTest::newRow("nothing decodes")
            << "x.vtp" << QByteArray("rubbish") << false << QSize(0, 0)
            << PluginReports(2, false) + TRecords{{2, 100, true, None, "Loaded Graphic"}};
        QTest::newRow("bitmap reader after the plug-ins")
            << "x.vtp" << bmp << true << QSize(5, 2)
            << PluginReports(2, false) +
                   TRecords{{2, 100, true, QRect(0, 0, 5, 2), "Loaded Graphic"}};
        QTest::newRow("bitmap file read by the bitmap reader alone")
            << "x.BMP" << bmp << true << QSize(5, 2)
            << TRecords{{2, 100, true, QRect(0, 0, 5, 2), "Loaded Graphic"}};
        QTest::newRow("bitmap file that only a plug-in reads")
            << "x.bmp" << picture << true << QSize(7, 3)
            << PluginReports(1, true) +
                   TRecords{{2, 100, true, QRect(0, 0, 7, 3), "Loaded Graphic"}};
    }
    void progressSeen() {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, data);
        QFETCH(bool, loads);
        QFETCH(QSize, size);
        QFETCH(TRecords, expected);
        TSandbox box;
        auto spis = MakeManager(box.path(), {{"vt_in", "a.spi"}});
        const QString file = box.writeFile(fileName, data);
        for (bool stream : {false, true}) {
            TSPIBitmap bitmap;
            TRecords records;
            bitmap.OnProgress = Recorder(records);
            QFile input(file);
            QVERIFY(input.open(QIODevice::ReadOnly));
            try {
                if (stream)
                    bitmap.LoadFromStreamWithName(input, fileName);
                else
                    bitmap.LoadFromFile(file);
                QVERIFY(loads);
            } catch (const EInvalidGraphic& e) {
                QVERIFY(!loads);
                QCOMPARE(e.Message, QString("Susie Plugins could not decode"));
            }
            QVERIFY2(records == expected, qPrintable(Describe(records)));
            QCOMPARE(QSize(bitmap.Width(), bitmap.Height()), size);
        }
    }

    void failedLoadKeepsThePreviousImage() {
        TSandbox box;
        auto spis = MakeManager(box.path(), {{"vt_in", "a.spi"}});
        TSPIBitmap bitmap;
        bitmap.LoadFromFile(box.writeFile("a.vtp", TestPictureData(9, 4, 8)));
        TRecords records;
        bitmap.OnProgress = Recorder(records);
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic,
                                 bitmap.LoadFromFile(box.writeFile("b.vtp", "rubbish")));
        QCOMPARE(bitmap.Width(), 9);
        int endings = 0;
        for (const auto& r : records)
            endings += r.Stage == 2;
        QCOMPARE(endings, 1);
        QCOMPARE(records.back(),
                 (TProgressRecord{2, 100, true, QRect(0, 0, 9, 4), "Loaded Graphic"}));
    }

    void namedPipeIsNoPicture() {
        TSandbox box;
        auto spis = MakeManager(box.path(), {{"vt_in", "a.spi"}});
        const QString fifo = box.filePath("pipe.vtp");
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        TSPIBitmap bitmap;
        TRecords records;
        bitmap.OnProgress = Recorder(records);
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, bitmap.LoadFromFile(fifo));
        QVERIFY2(records == (TRecords{{2, 100, true, None, "Loaded Graphic"}}),
                 qPrintable(Describe(records)));
        // The plug-in picture alone: its header read skips the pipe.
        TSPIGraphic picture;
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, picture.LoadFromFile(fifo));
    }

    void streamPositionForTheBitmapReader() {
        TSandbox box;
        auto spis = MakeManager(box.path(), {{"vt_in", "a.spi"}});
        // Junk, then a bitmap: the plug-ins see the whole stream and fail; the
        // bitmap reader starts where the stream was.
        QFile mixed(box.writeFile("m.bin", QByteArray(10, 'j') + BitmapBytes(3, 3)));
        QVERIFY(mixed.open(QIODevice::ReadOnly));
        mixed.seek(10);
        TSPIBitmap fromBitmap;
        fromBitmap.LoadFromStreamWithName(mixed, "m.pic");
        QCOMPARE(fromBitmap.Width(), 3);

        // Plug-in data with the stream positioned past its start.
        QByteArray data = TestPictureData(4, 2, 24);
        QBuffer buffer(&data);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        buffer.seek(6);
        TSPIBitmap fromPlugin;
        fromPlugin.LoadFromStream(buffer);
        QCOMPARE(fromPlugin.Width(), 4);
        QCOMPARE(fromPlugin.Image().pixel(1, 1), TestPixel(1, 1, 24) | 0xff000000u);
    }

    void palettes_data() {
        QTest::addColumn<int>("bits");
        QTest::newRow("4 bit") << 4;
        QTest::newRow("8 bit") << 8;
        QTest::newRow("1 bit") << 1;
    }
    void palettes() {
        QFETCH(int, bits);
        TSandbox box;
        auto spis = MakeManager(box.path(), {{"vt_in", "a.spi"}});
        TSPIBitmap bitmap;
        bitmap.LoadFromFile(box.writeFile("p.vtp", TestPictureData(8, 8, quint8(bits))));
        TSPIGraphic picture;
        picture.LoadFromFile(box.filePath("p.vtp"));
        // A 4-bit picture keeps the plug-in's palette; the others take what
        // the bitmap reader made of the image.
        if (bits == 4)
            QCOMPARE(bitmap.Image().colorTable(), picture.Palette());
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                QCOMPARE(bitmap.Image().pixel(x, y), TestPixel(x, y, bits) | 0xff000000u);

        // Assigning the plug-in picture gives the same bitmap.
        TSPIBitmap assigned;
        assigned.Assign(picture);
        QCOMPARE(assigned.Image(), bitmap.Image());
        QVERIFY(!picture.Empty());
    }

    // The bundled plug-ins beside the program decode through the same host.
    void bundledPluginThroughTheRegistry() {
        const QString png = BuildDir() + "/png.spi";
        if (!QFile::exists(png))
            QSKIP("the bundled PNG plug-in is not built");
        TSandbox box;
        RegisterBuiltInGraphics();
        TSPIs spis;
        spis.SearchPlugins(png);
        QCOMPARE(spis.PluginCount(), 1);
        QVERIFY(spis.Plugins(0)->InheritsFrom(TInSPI::StaticClass()));
        QCOMPARE(TPicture::FileFormatClass("png"), TSPIBitmap::StaticClass());
        const QString file = MakePicture(box.filePath("p.png"), 31, 17);
        TPicture picture;
        TRecords records;
        picture.OnProgress = Recorder(records);
        picture.LoadFromFile(file);
        QCOMPARE(picture.Graphic()->ClassType(), TSPIBitmap::StaticClass());
        QCOMPARE(picture.Graphic()->ToImage().convertToFormat(QImage::Format_RGB32),
                 QImage(file).convertToFormat(QImage::Format_RGB32));
        QCOMPARE(records.front().Text, QString("Loading Graphic by Susie Plugin"));
        QCOMPARE(records.back(),
                 (TProgressRecord{2, 100, true, QRect(0, 0, 31, 17), "Loaded Graphic"}));
    }

    void assignGraphicWithoutPicture() {
        TSPIBitmap bitmap;
        try {
            bitmap.AssignGraphic(nullptr);
            QFAIL("no exception");
        } catch (const EInvalidGraphic& e) {
            QCOMPARE(e.Message, QString("Susie Plugins could not decode"));
        }
    }
};

QTEST_MAIN(TestSPIBitmap)
#include "test_spi_bitmap.moc"
