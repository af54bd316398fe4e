#include "platform/Exceptions.h"
#include "platform/MessageBox.h"

#include "support/FakePlatform.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void errorBoxText_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter gets a full stop") << "File not found"
                                                 << "File not found.";
        QTest::newRow("full stop kept alone") << "Done."
                                              << "Done.";
        QTest::newRow("closing bracket sorts before dot") << "bad (x)"
                                                          << "bad (x)";
        QTest::newRow("digit sorts after dot") << "code 3"
                                               << "code 3.";
        QTest::newRow("slash sorts after dot") << "a/"
                                               << "a/.";
        QTest::newRow("japanese text gets one") << "拡張子 .xyz の画像形式は処理できません"
                                                << "拡張子 .xyz の画像形式は処理できません.";
        QTest::newRow("empty stays empty") << ""
                                           << "";
    }
    void errorBoxText() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(ErrorBoxText(message), shown);
    }

    void guardedShowsEscapingExceptions() {
        QStringList shown;
        TFakePlatformScope fake;
        fake->OnErrorBox = [&](const QString& t) { shown << t; };
        Guarded([] { throw EInvalidGraphic(QStringLiteral("broken")); });
        Guarded([] { throw EAbort(QStringLiteral("quiet")); });
        Guarded([] { throw std::runtime_error("std failure"); });
        QCOMPARE(shown, QStringList({"broken.", "std failure."}));
    }

    // The real box: the key Enter or Escape chooses by its style, and a
    // carriage return breaks the line.
    void hookAnswersQuestions_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("answer");
        QTest::newRow("warning") << 48 << int(Qt::Key_Return) << int(idOk);
        QTest::newRow("Yes by default") << 36 << int(Qt::Key_Return) << int(idYes);
        QTest::newRow("Escape is No") << 36 << int(Qt::Key_Escape) << int(idNo);
        QTest::newRow("No by default") << 292 << int(Qt::Key_Return) << int(idNo);
    }
    void hookAnswersQuestions() {
        QFETCH(int, style);
        QFETCH(int, key);
        QFETCH(int, answer);
        QString shown;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            shown = box->windowTitle() + "|" + box->text() + "|" +
                    QString::number(box->buttons().size());
            QTest::keyClick(box, Qt::Key(key));
        });
        QCOMPARE(ApplicationMessageBox("a\rb", "c", style), answer);
        QCOMPARE(shown, QString("c|a\nb|%1").arg(style == 48 ? 1 : 2));
    }
};

QTEST_MAIN(TestMessageBox)
#include "test_messagebox.moc"
