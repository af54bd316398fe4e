#include "toolkit/MessageBox.h"
#include "toolkit/Exceptions.h"

#include <QtTest>

class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void errorBoxText_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter gets a full stop") << "File not found" << "File not found.";
        QTest::newRow("full stop kept alone") << "Done." << "Done.";
        QTest::newRow("closing bracket sorts before dot") << "bad (x)" << "bad (x)";
        QTest::newRow("digit sorts after dot") << "code 3" << "code 3.";
        QTest::newRow("slash sorts after dot") << "a/" << "a/.";
        QTest::newRow("japanese text gets one") << "拡張子 .xyz の画像形式は処理できません"
                                                << "拡張子 .xyz の画像形式は処理できません.";
        QTest::newRow("empty stays empty") << "" << "";
    }
    void errorBoxText() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(ErrorBoxText(message), shown);
    }

    void guardedShowsEscapingExceptions() {
        QStringList shown;
        SetErrorBoxHook([&](const QString& t) { shown << t; });
        Guarded([] { throw EInvalidGraphic(QStringLiteral("broken")); });
        Guarded([] { throw EAbort(QStringLiteral("quiet")); });
        Guarded([] { throw std::runtime_error("std failure"); });
        SetErrorBoxHook(nullptr);
        QCOMPARE(shown, QStringList({"broken.", "std failure."}));
    }

    void hookAnswersQuestions() {
        QString caption;
        int style = 0;
        SetMessageBoxHook([&](const QString&, const QString& c, int f) {
            caption = c;
            style = f;
            return int(idNo);
        });
        QCOMPARE(ApplicationMessageBox("x", "ヴェルモ！ - 確認", mbQuestionYesNoNo), int(idNo));
        SetMessageBoxHook(nullptr);
        QCOMPARE(caption, QString("ヴェルモ！ - 確認"));
        QCOMPARE(style, 292);
    }
};

QTEST_MAIN(TestMessageBox)
#include "test_messagebox.moc"
