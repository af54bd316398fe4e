#include "dialogs/About.h"

#include "toolkit/Fonts.h"

#include "support/FakePlatform.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

class TestAbout : public QObject {
    Q_OBJECT

    TFakePlatformScope Fake;
    QStringList Opened;

    static bool Highlighted(const QLabel* label) {
        return label->palette().color(QPalette::WindowText) == QColor(0, 0, 255) &&
               label->font().underline();
    }
    static bool Plain(const QLabel* label, const QWidget* dialog) {
        return label->palette().color(QPalette::WindowText) ==
                   dialog->palette().color(QPalette::WindowText) &&
               !label->font().underline() && !label->font().bold() && !label->font().italic();
    }

private slots:
    void initTestCase() {
        InstallFontSubstitutions();
        Fake->OnOpenUrl = [this](const QString& url) { Opened << url; };
    }
    void init() { Opened.clear(); }

    void texts() {
        TfrmAbout dialog(nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("ヴェルモ！ - Version情報"));
        QCOMPARE(dialog.lblVersion->text(), QStringLiteral("ヴェルモ！   Version 1.03"));
        QVERIFY(dialog.lblCopyright->text().startsWith(QLatin1String("Copyright")));
        QCOMPARE(dialog.lblHPAddress->text(), QStringLiteral("https://velmo.example.org/"));
        QCOMPARE(dialog.lblMailAddress->text(), QStringLiteral("velmo@example.org"));
        QCOMPARE(dialog.Label1->text(), QStringLiteral("H P :"));
        QCOMPARE(dialog.Label3->text(), QStringLiteral("Mail :"));
        QCOMPARE(dialog.cmdExit->text(), QStringLiteral("OK"));
        // The design font resolves to the installed Japanese font.
        QCOMPARE(dialog.font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        QCOMPARE(QFontInfo(dialog.lblVersion->font()).family(), QStringLiteral("IPAPGothic"));
    }

    void layout() {
        TfrmAbout dialog(nullptr);
        QCOMPARE(dialog.size(), QSize(392, 126));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        // Every control found by its name, where the layout puts it.
        QCOMPARE(dialog.findChild<QFrame*>("Bevel1")->geometry(), QRect(16, 16, 49, 49));
        QCOMPARE(dialog.findChild<QLabel*>("imgIcon")->geometry(), QRect(24, 24, 33, 33));
        QCOMPARE(dialog.findChild<QLabel*>("lblVersion")->pos(), QPoint(80, 16));
        QCOMPARE(dialog.findChild<QLabel*>("lblCopyright")->pos(), QPoint(80, 48));
        QCOMPARE(dialog.findChild<QFrame*>("Bevel2")->geometry().topLeft(), QPoint(8, 80));
        QCOMPARE(dialog.findChild<QFrame*>("Bevel2")->width(), 377);
        QCOMPARE(dialog.findChild<QLabel*>("Label1")->geometry().right() + 1, 68);
        QCOMPARE(dialog.findChild<QLabel*>("Label1")->y(), 88);
        QCOMPARE(dialog.findChild<QLabel*>("Label3")->geometry().right() + 1, 68);
        QCOMPARE(dialog.findChild<QLabel*>("Label3")->y(), 104);
        QCOMPARE(dialog.findChild<QLabel*>("lblHPAddress")->pos(), QPoint(72, 88));
        QCOMPARE(dialog.findChild<QLabel*>("lblMailAddress")->pos(), QPoint(72, 104));
        QCOMPARE(dialog.findChild<QPushButton*>("cmdExit")->geometry(), QRect(312, 8, 75, 25));
        QCOMPARE(dialog.lblVersion->font().pixelSize(), 16);
        QCOMPARE(dialog.lblCopyright->font().pixelSize(), 13);
        QCOMPARE(dialog.lblHPAddress->font().pixelSize(), 13);
        QCOMPARE(dialog.lblHPAddress->cursor().shape(), Qt::PointingHandCursor);
        // The icon is drawn at the top left, transparent around it.
        const QImage icon = dialog.imgIcon->pixmap().toImage();
        QCOMPARE(icon.size(), QSize(33, 33));
        QVERIFY(qAlpha(icon.pixel(32, 32)) == 0);
        int opaque = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                opaque += qAlpha(icon.pixel(x, y)) > 0;
        QVERIFY(opaque > 300);
    }

    void centring_data() {
        QTest::addColumn<QRect>("owner");
        QTest::addColumn<QSize>("own");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("centred") << QRect(100, 200, 800, 600) << QSize(400, 150)
                                 << QPoint(300, 425);
        // (600 - 151) / 2 = 224.5 truncates to 224; (800 - 401) / 2 = 199.
        QTest::newRow("odd difference")
            << QRect(100, 200, 800, 600) << QSize(401, 151) << QPoint(299, 424);
        // Owner smaller than the dialog: the negative half truncates toward
        // zero (-27 / 2 = -13, not -14).
        QTest::newRow("negative half")
            << QRect(50, 20, 373, 100) << QSize(400, 127) << QPoint(37, 7);
        QTest::newRow("clamped at 0")
            << QRect(-300, -40, 200, 100) << QSize(400, 150) << QPoint(0, 0);
        QTest::newRow("top only clamped")
            << QRect(500, 5, 800, 60) << QSize(400, 150) << QPoint(700, 0);
    }
    void centring() {
        QFETCH(QRect, owner);
        QFETCH(QSize, own);
        QFETCH(QPoint, expected);
        QCOMPARE(CentredOver(owner, own), expected);
    }

    void centredOverOwnerWindow() {
        QWidget main;
        main.setGeometry(200, 150, 700, 500);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QWidget* inner = new QWidget(&main); // the owner may be any widget of it
        TfrmAbout dialog(inner);
        // Before it is shown the dialog has no frame yet; it is taken to get
        // the owner's frame margins.
        const QSize margins = main.frameGeometry().size() - main.size();
        QCOMPARE(dialog.pos(), CentredOver(main.frameGeometry(), dialog.size() + margins));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QRect f = main.frameGeometry();
        QVERIFY(qAbs(dialog.frameGeometry().center().x() - f.center().x()) <= 1);
        QVERIFY(qAbs(dialog.frameGeometry().center().y() - f.center().y()) <= 1);
    }

    void linkHighlight() {
        TfrmAbout dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QLabel* hp = dialog.lblHPAddress;
        QLabel* mail = dialog.lblMailAddress;
        QVERIFY(Plain(hp, &dialog) && Plain(mail, &dialog));

        QTest::mouseMove(hp, QPoint(3, 3));
        QVERIFY(Highlighted(hp));
        QVERIFY(Plain(mail, &dialog));
        // Other controls keep the highlight.
        for (QWidget* other :
             {static_cast<QWidget*>(dialog.cmdExit), static_cast<QWidget*>(dialog.Label1),
              static_cast<QWidget*>(dialog.imgIcon), static_cast<QWidget*>(dialog.Bevel2)}) {
            QTest::mouseMove(other, QPoint(1, 1));
            QVERIFY2(Highlighted(hp), qPrintable(other->objectName()));
        }
        // Both can be lit at once; the bare surface resets both.
        QTest::mouseMove(mail, QPoint(2, 2));
        QVERIFY(Highlighted(hp) && Highlighted(mail));
        QTest::mouseMove(&dialog, QPoint(250, 70));
        QVERIFY(Plain(hp, &dialog));
        QVERIFY(Plain(mail, &dialog));
        // Text size stays as it was.
        QCOMPARE(hp->font().pixelSize(), 13);
    }

    void linkClicks() {
        TfrmAbout dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseClick(dialog.lblHPAddress, Qt::LeftButton, {}, QPoint(4, 4));
        QCOMPARE(Opened, QStringList{QStringLiteral("https://velmo.example.org/")});
        QTest::mouseClick(dialog.lblMailAddress, Qt::LeftButton, {}, QPoint(4, 4));
        QCOMPARE(Opened.last(), QStringLiteral("mailto:velmo@example.org"));
        // A right click or a press that leaves the label opens nothing.
        QTest::mouseClick(dialog.lblHPAddress, Qt::RightButton, {}, QPoint(4, 4));
        QTest::mousePress(dialog.lblHPAddress, Qt::LeftButton, {}, QPoint(4, 4));
        QTest::mouseRelease(dialog.lblHPAddress, Qt::LeftButton, {}, QPoint(-20, 40));
        QCOMPARE(Opened.size(), 2);
        QVERIFY(dialog.isVisible());
    }

    void keysDoNotClose() {
        TfrmAbout dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.cmdExit->setFocus();
        QVERIFY(!dialog.cmdExit->autoDefault());
        QVERIFY(!dialog.cmdExit->isDefault());
        for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(dialog.cmdExit, Qt::Key(key));
            QTest::keyClick(&dialog, Qt::Key(key));
            QVERIFY2(dialog.isVisible(), qPrintable(QString::number(key, 16)));
        }
    }

    void okCloses() {
        TfrmAbout dialog(nullptr);
        QTimer::singleShot(0, &dialog, [&] { dialog.cmdExit->click(); });
        dialog.exec(); // returns only when OK closed it
        QVERIFY(!dialog.isVisible());
    }

    void showAboutDialogRunsModally() {
        QWidget main;
        main.show();
        bool seen = false;
        QTimer::singleShot(0, &main, [&] {
            auto* dialog = qobject_cast<TfrmAbout*>(QApplication::activeModalWidget());
            seen = dialog && dialog->parentWidget() == &main;
            if (dialog)
                dialog->cmdExit->click();
        });
        ShowAboutDialog(&main);
        QVERIFY(seen);
        QVERIFY(main.findChildren<TfrmAbout*>().isEmpty()); // released
    }
};

QTEST_MAIN(TestAbout)
#include "test_about.moc"
