#include "toolkit/MessageBox.h"
#include "toolkit/Exceptions.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <algorithm>

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

    // The real box: its buttons, which one Enter and Escape choose, and the
    // text with its carriage returns as line breaks.
    void hookAnswersQuestions_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("buttons");
        QTest::newRow("warning, Enter") << 48 << int(Qt::Key_Return) << int(idOk) << QStringList{"OK"};
        QTest::newRow("question, Enter is Yes") << 36 << int(Qt::Key_Return) << int(idYes)
                                                << QStringList{"はい(&Y)", "いいえ(&N)"};
        QTest::newRow("question, Escape is No") << 36 << int(Qt::Key_Escape) << int(idNo)
                                                << QStringList{"はい(&Y)", "いいえ(&N)"};
        QTest::newRow("No by default, Enter is No") << 292 << int(Qt::Key_Return) << int(idNo)
                                                    << QStringList{"はい(&Y)", "いいえ(&N)"};
    }
    void hookAnswersQuestions() {
        QFETCH(int, style);
        QFETCH(int, key);
        QFETCH(int, answer);
        QFETCH(QStringList, buttons);
        QString text, caption;
        QStringList shownButtons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            text = box->text();
            caption = box->windowTitle();
            for (QAbstractButton* b : box->buttons())
                shownButtons << b->text();
            QTest::keyClick(box, Qt::Key(key));
        });
        QCOMPARE(ApplicationMessageBox("line 1\rline 2", "caption", style), answer);
        QCOMPARE(text, QString("line 1\nline 2"));
        QCOMPARE(caption, QString("caption"));
        shownButtons.replaceInStrings("&OK", "OK");
        std::sort(shownButtons.begin(), shownButtons.end());
        std::sort(buttons.begin(), buttons.end());
        QCOMPARE(shownButtons, buttons);

        // A test's hook answers in place of the box.
        SetMessageBoxHook([](const QString&, const QString&, int) { return int(idYes); });
        QCOMPARE(ApplicationMessageBox("x", "c", style), int(idYes));
        SetMessageBoxHook(nullptr);
    }
};

QTEST_MAIN(TestMessageBox)
#include "test_messagebox.moc"
