#include "spi/SPIGraphic.h"
#include "spi/SPIs.h"
#include "spi_plugins/SpiTestSupport.h"
#include "support/TestSupport.h"
#include "toolkit/Bitmap.h"

#include <QBuffer>
#include <QPainter>
#include <QtEndian>
#include <QtTest>

namespace {

using TRecords = std::vector<TProgressRecord>;

// The "Loading by" texts of a record, in order.
QStringList TriedPlugins(const TRecords& records) {
    QStringList tried;
    for (const auto& r : records)
        if (r.Text.startsWith("Loading by ["))
            tried << r.Text.mid(12, r.Text.size() - 13);
    return tried;
}

QStringList ReadLog(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

void CheckPixels(const QImage& image, int width, int height, int bits) {
    QCOMPARE(image.width(), width);
    QCOMPARE(image.height(), height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (image.pixel(x, y) != (TestPixel(x, y, bits) | 0xff000000u))
                QFAIL(qPrintable(QString("pixel %1,%2 is %3, wanted %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(image.pixel(x, y), 0, 16)
                                     .arg(TestPixel(x, y, bits), 0, 16)));
}

} // namespace

class TestSPIGraphic : public QObject {
    Q_OBJECT
private slots:
    void mulDiv_data() {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<int>("c");
        QTest::addColumn<int>("result");
        QTest::newRow("exact") << 50 << 97 << 50 << 97;
        QTest::newRow("half rounds up") << 1 << 1 << 2 << 1;
        QTest::newRow("half rounds away from zero") << -1 << 1 << 2 << -1;
        QTest::newRow("below half rounds down") << 1 << 97 << 3 << 32;
        QTest::newRow("divisor zero") << 5 << 97 << 0 << -1;
        QTest::newRow("overflow") << 0x7fffffff << 4 << 1 << -1;
        QTest::newRow("wide intermediate") << 0x7fffffff << 97 << 0x7fffffff << 97;
    }
    void mulDiv() {
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(int, c);
        QFETCH(int, result);
        QCOMPARE(MulDiv(a, b, c), result);
    }

    void callbackPercent_data() {
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("percent");
        QTest::newRow("start") << 0 << 100 << 2;
        QTest::newRow("end") << 100 << 100 << 99;
        QTest::newRow("half rounds") << 50 << 100 << 51;
        QTest::newRow("third") << 1 << 3 << 34;
        QTest::newRow("total zero") << 0 << 0 << 1;
        QTest::newRow("past the total stays below 100") << 300 << 100 << 99;
        QTest::newRow("large counts") << 1000000000 << 2000000000 << 51;
    }
    void callbackPercent() {
        QFETCH(int, done);
        QFETCH(int, total);
        QFETCH(int, percent);
        TSPIGraphic owner;
        TInSPIAbleFromFile source(&owner, "x");
        TRecords records;
        source.OnProgress = Recorder(records);
        QCOMPARE(PluginProgressCallback(done, total, reinterpret_cast<intptr_t>(&source)), 0);
        QCOMPARE(records.size(), size_t(1));
        QCOMPARE(records[0], (TProgressRecord{1, percent, false, QRect(0, 0, 0, 0), QString()}));
    }

    void callbackWithoutHandler() {
        TSPIGraphic owner;
        TInSPIAbleFromFile source(&owner, "x");
        QCOMPARE(PluginProgressCallback(1, 2, 0), 0);
        QCOMPARE(PluginProgressCallback(1, 2, reinterpret_cast<intptr_t>(&source)), 0);
        source.OnProgress = [](TGraphic*, TProgressStage, quint8, bool, const QRect&,
                               const QString&) { throw EAbort("stop"); };
        QCOMPARE(PluginProgressCallback(1, 2, reinterpret_cast<intptr_t>(&source)), 1);
    }

    void decodesEveryDepthAndOrientation_data() {
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("topDown");
        QTest::addColumn<int>("colors");
        for (int bits : {1, 4, 8, 24, 32})
            for (bool topDown : {false, true})
                QTest::addRow("%d bit%s", bits, topDown ? " top-down" : "")
                    << bits << topDown << (bits <= 8 ? 1 << bits : 0);
    }
    void decodesEveryDepthAndOrientation() {
        QFETCH(int, bits);
        QFETCH(bool, topDown);
        QFETCH(int, colors);
        TSandbox box;
        auto spis = MakeManager(box.path(), {{"vt_in", "a.spi"}});
        const int w = 13, h = 5;
        const QString file =
            box.writeFile("x.vtp", TestPictureData(w, h, quint8(bits), topDown ? vtTopDown : 0));
        TSPIGraphic picture;
        picture.LoadFromFile(file);
        QVERIFY(!picture.Empty());
        QCOMPARE(picture.Width(), w);
        QCOMPARE(picture.Height(), topDown ? -h : h);
        QCOMPARE(picture.ColorCount(), quint32(colors));
        QCOMPARE(picture.InfoSize(), quint32(40 + 4 * colors));
        const quint64 row = (quint64(bits) * w + 31) / 32 * 4;
        QCOMPARE(picture.ImageSize(), row * h);
        QCOMPARE(picture.IsFourBit(), bits == 4);
        QCOMPARE(picture.Palette().size(), colors);

        QBuffer out;
        out.open(QIODevice::ReadWrite);
        picture.SaveToStream(out);
        const QByteArray bmp = out.data();
        const auto* p = reinterpret_cast<const uchar*>(bmp.constData());
        QCOMPARE(bmp.left(2), QByteArray("BM"));
        QCOMPARE(qFromLittleEndian<quint32>(p + 2), quint32(14 + 40 + 4 * colors + row * h));
        QCOMPARE(quint64(bmp.size()), 14 + 40 + 4 * colors + row * h);
        QCOMPARE(qFromLittleEndian<quint32>(p + 10), quint32(14 + 40 + 4 * colors));
        QCOMPARE(qFromLittleEndian<qint32>(p + 22), topDown ? -h : h);

        CheckPixels(picture.ToImage(), w, h, bits);
        std::unique_ptr<TGraphic> bitmap = ConvertToBitmap(picture, TBitmap::StaticClass());
        CheckPixels(bitmap->ToImage(), w, h, bits);
        QVERIFY(!picture.Empty());
        std::unique_ptr<TGraphic> moved = MoveToBitmap(picture, TBitmap::StaticClass());
        CheckPixels(moved->ToImage(), w, h, bits);
        QVERIFY(picture.Empty()); // the plug-in memory went first
    }

    void progressOfOneDecode() {
        TSandbox box;
        auto spis = MakeManager(box.path(), {{"vt_in", "a.spi"}});
        TSPIGraphic picture;
        TRecords records;
        picture.OnProgress = Recorder(records);
        picture.LoadFromFile(box.writeFile("x.vtp", TestPictureData(4, 4, 24)));
        const QRect none(0, 0, 0, 0);
        const TRecords expected{{0, 0, false, none, "Loading Graphic by Susie Plugin"},
                                {1, 1, false, none, "Seeking enabled Susie Plugins"},
                                {1, 1, false, none, "Loading by [a.spi]"},
                                {1, 2, false, none, ""},
                                {1, 51, false, none, ""},
                                {1, 99, false, none, ""},
                                {2, 100, true, none, "Loaded Graphic by Susie Plugin"}};
        QVERIFY2(records == expected, qPrintable(Describe(records)));
    }

    void claimersFirstAndMacBinaryRetry() {
        TSandbox box;
        // c and a claim ".vtp"; c came later so it is asked first; it fails at
        // both offsets; b claims nothing and comes last.
        auto spis = MakeManager(box.path(),
                                {{"vt_in", "a.spi"}, {"vt_none", "b.spi"}, {"vt_fail", "c.spi"}});
        TSPIGraphic picture;
        TRecords records;
        picture.OnProgress = Recorder(records);
        picture.LoadFromFile(box.writeFile("x.vtp", TestPictureData(4, 4, 8, 0, 128)));
        QCOMPARE(TriedPlugins(records), (QStringList{"c.spi", "c.spi", "a.spi", "a.spi"}));
        QCOMPARE(picture.Width(), 4);
    }

    void macBinary_data() {
        QTest::addColumn<bool>("macBinary");
        QTest::addColumn<bool>("fromStream");
        QTest::newRow("file, on") << true << false;
        QTest::newRow("file, off") << false << false;
        QTest::newRow("memory, on") << true << true;
        QTest::newRow("memory, off") << false << true;
    }
    void macBinary() {
        QFETCH(bool, macBinary);
        QFETCH(bool, fromStream);
        TSandbox box;
        const QString log = box.filePath("calls.log");
        qputenv("VELMO_TESTSPI_LOG", QFile::encodeName(log));
        auto spis = MakeManager(box.path(), {{"vt_in", "a.spi"}});
        spis->MacBinary = macBinary;
        const QByteArray data = TestPictureData(3, 2, 24, 0, 128);
        const QString file = box.writeFile("x.vtp", data);
        TSPIGraphic picture;
        TRecords records;
        picture.OnProgress = Recorder(records);
        QBuffer buffer;
        buffer.setData(data);
        buffer.open(QIODevice::ReadOnly);
        try {
            if (fromStream)
                picture.LoadFromStreamWithName(buffer, "x.vtp");
            else
                picture.LoadFromFile(file);
            QVERIFY(macBinary);
        } catch (const EInvalidGraphic& e) {
            QVERIFY(!macBinary);
            QCOMPARE(e.Message, QString("Susie Plugins could not decode"));
        }
        qunsetenv("VELMO_TESTSPI_LOG");
        QCOMPARE(picture.Empty(), !macBinary);
        QCOMPARE(TriedPlugins(records).size(), macBinary ? 2 : 1);
        QCOMPARE(records.back().Stage, 2);
        // The plug-in reads the whole data only after accepting the header,
        // at the offset of the MacBinary header.
        const QString where = fromStream ? QString("flag=1 len=%1").arg(data.size() - 128)
                                         : QString("flag=0 len=128");
        QStringList expected{"vt_in IsSupported flag=0 len=0"};
        if (macBinary)
            expected << "vt_in IsSupported flag=0 len=0"
                     << "vt_in GetPictureInfo " + where << "vt_in GetPicture " + where;
        QCOMPARE(ReadLog(log), expected);
    }

    void forcedLoader() {
        TSandbox box;
        auto spis = MakeManager(box.path(), {{"vt_in", "a.spi"}, {"vt_other_magic", "b.spi"}});
        const QString other = box.writeFile("x.vtp", TestPictureData(2, 2, 8, 0, 0, "VTSX"));
        TSPIGraphic picture;
        TRecords records;
        picture.OnProgress = Recorder(records);
        picture.LoadFromFile(other);
        QCOMPARE(TriedPlugins(records), QStringList{"b.spi"}); // both claim: the later first
        spis->GraphicForcedLoader = static_cast<TInSPI*>(spis->Plugins(0));
        records.clear();
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, picture.LoadFromFile(other));
        QCOMPARE(TriedPlugins(records), (QStringList{"a.spi", "a.spi"}));
        // Whatever extension the file has.
        spis->GraphicForcedLoader = static_cast<TInSPI*>(spis->Plugins(1));
        records.clear();
        picture.LoadFromFile(box.writeFile("x.png", TestPictureData(2, 2, 8, 0, 0, "VTSX")));
        QCOMPARE(TriedPlugins(records), QStringList{"b.spi"});
    }

    void failuresAreNotDecoded_data() {
        QTest::addColumn<QString>("plugin");
        QTest::addColumn<int>("flags");
        QTest::newRow("GetPicture fails") << "vt_fail" << 0;
        QTest::newRow("only one handle") << "vt_onehandle" << 0;
        QTest::newRow("bits smaller than the header says") << "vt_in" << int(vtShortBits);
        QTest::newRow("not supported") << "vt_other_magic" << 0;
    }
    void failuresAreNotDecoded() {
        QFETCH(QString, plugin);
        QFETCH(int, flags);
        TSandbox box;
        auto spis = MakeManager(box.path(), {{plugin, "a.spi"}});
        for (bool stream : {false, true}) {
            TSPIGraphic picture;
            TRecords records;
            picture.OnProgress = Recorder(records);
            const QByteArray data = TestPictureData(64, 64, 24, quint8(flags));
            QBuffer buffer;
            buffer.setData(data);
            buffer.open(QIODevice::ReadOnly);
            try {
                if (stream)
                    picture.LoadFromStream(buffer);
                else
                    picture.LoadFromFile(box.writeFile("x.vtp", data));
                QFAIL("decoded");
            } catch (const EInvalidGraphic& e) {
                QCOMPARE(e.Message, QString("Susie Plugins could not decode"));
            }
            QVERIFY(picture.Empty());
            QVERIFY(!picture.DataSource());
            QCOMPARE(records.back().Text, QString("Loaded Graphic by Susie Plugin"));
            QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, picture.SaveToStream(buffer));
        }
    }

    void noManagerDecodesNothing() {
        TSandbox box;
        TSPIGraphic picture;
        QVERIFY(!ActiveSPIs);
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, picture.LoadFromFile(box.writeFile(
                                                      "x.vtp", TestPictureData(2, 2, 8))));
    }

    void abortStopsEachPluginInTurn() {
        TSandbox box;
        auto spis = MakeManager(box.path(), {{"vt_in", "a.spi"}, {"vt_nopreview", "b.spi"}});
        TSPIGraphic picture;
        TRecords records;
        picture.OnProgress = [&](TGraphic* s, TProgressStage st, quint8 p, bool rd, const QRect& r,
                                 const QString& t) {
            Recorder(records)(s, st, p, rd, r, t);
            if (st == psRunning && t.isEmpty())
                throw EAbort("stop");
        };
        try {
            picture.LoadFromFile(box.writeFile("x.vtp", TestPictureData(2, 2, 8)));
            QFAIL("decoded");
        } catch (const EInvalidGraphic& e) {
            QCOMPARE(e.Message, QString("Susie Plugins could not decode"));
        }
        QCOMPARE(TriedPlugins(records), (QStringList{"b.spi", "b.spi", "a.spi", "a.spi"}));
        QCOMPARE(records.back().Stage, 2);
    }

    void handlerFailureInsideThePluginPassesOn() {
        TSandbox box;
        auto spis = MakeManager(box.path(), {{"vt_in", "a.spi"}});
        TSPIGraphic picture;
        TRecords records;
        picture.OnProgress = [&](TGraphic* s, TProgressStage st, quint8 p, bool rd, const QRect& r,
                                 const QString& t) {
            Recorder(records)(s, st, p, rd, r, t);
            if (st == psRunning && t.isEmpty())
                throw EInOutError("handler broke");
        };
        try {
            picture.LoadFromFile(box.writeFile("x.vtp", TestPictureData(2, 2, 8)));
            QFAIL("decoded");
        } catch (const EInOutError& e) {
            QCOMPARE(e.Message, QString("handler broke"));
        }
        QVERIFY(picture.Empty());
        QCOMPARE(TriedPlugins(records), QStringList{"a.spi"});
        QCOMPARE(records.back().Text, QString("Loaded Graphic by Susie Plugin"));
    }

    void preview_data() {
        QTest::addColumn<QString>("plugin");
        QTest::addColumn<QString>("call");
        QTest::newRow("preview used") << "vt_in"
                                      << "GetPreview";
        QTest::newRow("no preview export") << "vt_nopreview"
                                           << "GetPicture";
    }
    void preview() {
        QFETCH(QString, plugin);
        QFETCH(QString, call);
        TSandbox box;
        const QString log = box.filePath("calls.log");
        qputenv("VELMO_TESTSPI_LOG", QFile::encodeName(log));
        auto spis = MakeManager(box.path(), {{plugin, "a.spi"}});
        spis->GraphicPreview = true;
        TSPIGraphic picture;
        picture.LoadFromFile(box.writeFile("x.vtp", TestPictureData(2, 2, 8)));
        qunsetenv("VELMO_TESTSPI_LOG");
        QCOMPARE(picture.Width(), 2);
        const QStringList calls = ReadLog(log);
        QCOMPARE(calls.last(), plugin + " " + call + " flag=0 len=0");
    }

    void streams() {
        TSandbox box;
        auto spis = MakeManager(box.path(), {{"vt_in", "a.spi"}});
        const QByteArray data = TestPictureData(5, 3, 24);

        // A memory stream is decoded in place, whatever its position.
        QBuffer buffer;
        buffer.setData(data);
        buffer.open(QIODevice::ReadOnly);
        buffer.seek(7);
        TSPIGraphic inPlace;
        inPlace.LoadFromStreamWithName(buffer, "x.vtp");
        auto* source = static_cast<TInSPIAbleFromStream*>(inPlace.DataSource());
        QCOMPARE(source->DataPointer, buffer.data().constData());
        QCOMPARE(source->DataSize, intptr_t(data.size()));
        QVERIFY(!source->DataCopy);
        QCOMPARE(source->SourceName, QString("x.vtp"));

        // Another stream is copied from its first byte and left at its end.
        QFile file(box.writeFile("y.bin", data));
        QVERIFY(file.open(QIODevice::ReadOnly));
        file.seek(9);
        TSPIGraphic copied;
        copied.LoadFromStream(file);
        QVERIFY(static_cast<TInSPIAbleFromStream*>(copied.DataSource())->DataCopy);
        QCOMPARE(file.pos(), file.size());
        CheckPixels(copied.ToImage(), 5, 3, 24);
    }

    void drawFillsTheRectangle() {
        TSandbox box;
        auto spis = MakeManager(box.path(), {{"vt_in", "a.spi"}});
        TSPIGraphic picture;
        QImage canvas(20, 20, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        {
            QPainter painter(&canvas);
            picture.Draw(painter, QRect(0, 0, 20, 20)); // no data: nothing
        }
        QCOMPARE(canvas.pixel(3, 3), qRgb(255, 255, 255));
        picture.LoadFromFile(box.writeFile("x.vtp", TestPictureData(2, 2, 4)));
        {
            QPainter painter(&canvas);
            picture.Draw(painter, QRect(0, 0, 20, 20));
        }
        QCOMPARE(canvas.pixel(3, 3), TestPixel(0, 0, 4) | 0xff000000u);
        QCOMPARE(canvas.pixel(13, 3), TestPixel(1, 0, 4) | 0xff000000u);
    }
};

QTEST_MAIN(TestSPIGraphic)
#include "test_spi_graphic.moc"
