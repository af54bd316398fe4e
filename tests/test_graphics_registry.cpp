// The picture-format registry and TPicture's loading rules.
#include "platform/Exceptions.h"
#include "support/TestSupport.h"
#include "toolkit/Bitmap.h"
#include "toolkit/JPEGImage.h"
#include "toolkit/Picture.h"

#include <QIODevice>
#include <QtTest>

namespace {

// Two stand-in picture classes whose loads always succeed with a tiny image
// that tells them apart.
class TFakeA : public TGraphic {
public:
    static TGraphicClass StaticClass() {
        static const TGraphicClassInfo info{"TFakeA", &CreateGraphic<TFakeA>};
        return &info;
    }
    TGraphicClass ClassType() const override { return StaticClass(); }
    void LoadFromStream(QIODevice&) override { Picture = QImage(1, 1, QImage::Format_RGB32); }
};

class TFakeB : public TFakeA {
public:
    static TGraphicClass StaticClass() {
        static const TGraphicClassInfo info{"TFakeB", &CreateGraphic<TFakeB>};
        return &info;
    }
    TGraphicClass ClassType() const override { return StaticClass(); }
    void LoadFromStream(QIODevice&) override { Picture = QImage(2, 2, QImage::Format_RGB32); }
};

TGraphicClass ClassByName(const QString& name) {
    if (name == "A")
        return TFakeA::StaticClass();
    if (name == "B")
        return TFakeB::StaticClass();
    return nullptr;
}

} // namespace

class TestGraphicsRegistry : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        TPicture::UnregisterGraphicClass(TFakeA::StaticClass());
        TPicture::UnregisterGraphicClass(TFakeB::StaticClass());
    }

    // Each row: registrations "ext:class" in order, classes then unregistered,
    // the extension asked for and the class expected ("" = none).
    void registry_data() {
        QTest::addColumn<QStringList>("registrations");
        QTest::addColumn<QStringList>("unregistered");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one") << QStringList{"pic:A"} << QStringList{} << "pic"
                             << "A";
        QTest::newRow("latest wins") << QStringList{"pic:A", "pic:B"} << QStringList{} << "pic"
                                     << "B";
        QTest::newRow("latest wins again")
            << QStringList{"pic:B", "pic:A"} << QStringList{} << "pic"
            << "A";
        QTest::newRow("unregister reveals earlier")
            << QStringList{"pic:A", "pic:B"} << QStringList{"B"} << "pic"
            << "A";
        QTest::newRow("unregister removes every entry")
            << QStringList{"pic:A", "pic:B", "pic:A"} << QStringList{"A"} << "pic"
            << "B";
        QTest::newRow("unregister last leaves none")
            << QStringList{"pic:A", "pic:A"} << QStringList{"A"} << "pic"
            << "";
        QTest::newRow("other extension kept")
            << QStringList{"pic:A", "pcx:B"} << QStringList{"A"} << "pcx"
            << "B";
        QTest::newRow("registered upper, asked lower")
            << QStringList{"PIC:A"} << QStringList{} << "pic"
            << "A";
        QTest::newRow("registered lower, asked mixed")
            << QStringList{"pic:A"} << QStringList{} << "PiC"
            << "A";
        QTest::newRow("leading dot dropped") << QStringList{".pic:A"} << QStringList{} << "pic"
                                             << "A";
        QTest::newRow("unknown") << QStringList{"pic:A"} << QStringList{} << "pi"
                                 << "";
    }
    void registry() {
        QFETCH(QStringList, registrations);
        QFETCH(QStringList, unregistered);
        QFETCH(QString, asked);
        QFETCH(QString, expected);
        for (const QString& r : registrations) {
            const QStringList parts = r.split(':');
            TPicture::RegisterFileFormat(parts[0], "fake", ClassByName(parts[1]));
        }
        for (const QString& c : unregistered)
            TPicture::UnregisterGraphicClass(ClassByName(c));
        QCOMPARE(TPicture::FileFormatClass(asked), ClassByName(expected));
    }

    void builtInExtensionsAreRegistered() {
        RegisterBuiltInGraphics();
        const QStringList extensions = TPicture::RegisteredExtensions();
        for (const char* e : {"bmp", "ico", "jpg", "jpeg"})
            QVERIFY2(extensions.contains(e), e);
        QCOMPARE(TPicture::FileFormatClass("JPEG"), TJPEGImage::StaticClass());
        QCOMPARE(TPicture::FileFormatClass("bmp"), TBitmap::StaticClass());
        // A plug-in class registered later takes over ".bmp" until it leaves.
        TPicture::RegisterFileFormat("bmp", "fake", TFakeA::StaticClass());
        QCOMPARE(TPicture::FileFormatClass("bmp"), TFakeA::StaticClass());
        QCOMPARE(TPicture::RegisteredExtensions().count("bmp"), 1);
        TPicture::UnregisterGraphicClass(TFakeA::StaticClass());
        QCOMPARE(TPicture::FileFormatClass("bmp"), TBitmap::StaticClass());
    }

    void unknownExtensionMessage_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("lower") << "photo.xyz"
                               << "拡張子 .xyz の画像形式は処理できません";
        QTest::newRow("as written") << "photo.XyZ"
                                    << "拡張子 .XyZ の画像形式は処理できません";
        QTest::newRow("last dot") << "photo.jpg.part"
                                  << "拡張子 .part の画像形式は処理できません";
        QTest::newRow("none") << "README"
                              << "拡張子 . の画像形式は処理できません";
        QTest::newRow("dot in folder") << "my.pics/README"
                                       << "拡張子 . の画像形式は処理できません";
    }
    void unknownExtensionMessage() {
        QFETCH(QString, name);
        QFETCH(QString, message);
        RegisterBuiltInGraphics();
        TSandbox box;
        const QString path = box.writeFile(name, "data");
        TPicture picture;
        try {
            picture.LoadFromFile(path);
            QFAIL("the load should have failed");
        } catch (const EInvalidGraphic& e) {
            QCOMPARE(e.Message, message);
        }
        QVERIFY(picture.Graphic() == nullptr);
    }

    // The class is chosen by extension, whatever the file holds.
    void loadChoosesClassByExtension() {
        TPicture::RegisterFileFormat("pic", "fake", TFakeA::StaticClass());
        TPicture::RegisterFileFormat("pic", "fake", TFakeB::StaticClass());
        TSandbox box;
        TPicture picture;
        picture.LoadFromFile(box.writeFile("a.PIC", "x"));
        QVERIFY(picture.Graphic() != nullptr);
        QCOMPARE(picture.Graphic()->ClassType(), TFakeB::StaticClass());
        QCOMPARE(picture.Width(), 2);
    }

    void failedLoadKeepsPreviousPicture_data() {
        QTest::addColumn<QString>("badName");
        QTest::addColumn<QByteArray>("badBytes");
        QTest::newRow("broken jpeg") << "bad.jpg" << QByteArray("not a jpeg at all");
        QTest::newRow("empty bmp") << "empty.bmp" << QByteArray();
        QTest::newRow("unknown extension") << "x.qqq" << QByteArray("x");
    }
    void failedLoadKeepsPreviousPicture() {
        QFETCH(QString, badName);
        QFETCH(QByteArray, badBytes);
        RegisterBuiltInGraphics();
        TSandbox box;
        TPicture picture;
        picture.LoadFromFile(MakePicture(box.filePath("good.bmp"), 40, 30));
        TGraphic* before = picture.Graphic();
        QVERIFY(before);
        const QString bad = box.writeFile(badName, badBytes);
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, picture.LoadFromFile(bad));
        QCOMPARE(picture.Graphic(), before);
        QCOMPARE(picture.Width(), 40);
        QCOMPARE(picture.Height(), 30);
    }

    void missingFileKeepsPreviousPicture() {
        RegisterBuiltInGraphics();
        TSandbox box;
        TPicture picture;
        picture.LoadFromFile(MakePicture(box.filePath("good.jpg"), 40, 30));
        QVERIFY_THROWS_EXCEPTION(EInOutError, picture.LoadFromFile(box.filePath("gone.jpg")));
        QCOMPARE(picture.Width(), 40);
    }

    // TPicture passes its picture's reports on, with the picture as sender,
    // and hands its decode hint to the picture it loads.
    void progressAndHintArePassedOn() {
        RegisterBuiltInGraphics();
        TSandbox box;
        const QString path = MakePicture(box.filePath("p.jpg"), 400, 200);
        TPicture picture;
        QList<int> stages;
        TGraphic* sender = nullptr;
        picture.OnProgress = [&](TGraphic* s, TProgressStage stage, quint8, bool, const QRect&,
                                 const QString&) {
            stages << stage;
            sender = s;
        };
        QSize asked;
        picture.SetDecodeHint([&](QSize natural) {
            asked = natural;
            return QSize(100, 50);
        });
        picture.LoadFromFile(path);
        QCOMPARE(sender, picture.Graphic());
        QCOMPARE(stages.first(), int(psStarting));
        QCOMPARE(stages.last(), int(psEnding));
        QCOMPARE(asked, QSize(400, 200));
        auto* jpeg = dynamic_cast<TJPEGImage*>(picture.Graphic());
        QVERIFY(jpeg);
        QCOMPARE(jpeg->DecodedSize(), QSize(100, 50));
        QCOMPARE(picture.Width(), 400);
        QCOMPARE(picture.ScaledImage(QSize(80, 40)).size(), QSize(80, 40));
    }
};

QTEST_MAIN(TestGraphicsRegistry)
#include "test_graphics_registry.moc"
