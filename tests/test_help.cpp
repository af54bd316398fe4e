#include "platform/Help.h"

#include "platform/MessageBox.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>

namespace {

struct TShownBox {
    QString Text, Caption;
    int Flags = 0;
};

// The anchor names a document defines.
QStringList AnchorsOf(const QTextDocument* doc) {
    QStringList names;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            names << it.fragment().charFormat().anchorNames();
    return names;
}

// The block that holds an anchor.
QTextBlock AnchorBlock(const QTextDocument* doc, const QString& anchor) {
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().anchorNames().contains(anchor))
                return block;
    return QTextBlock();
}

// Whether the block is on screen, in the upper part of the view.
bool ShownNearTop(QTextBrowser* browser, const QTextBlock& block) {
    const QRect r = browser->cursorRect(QTextCursor(block));
    return r.top() >= 0 && r.top() < browser->viewport()->height() / 2;
}

// A book with a long filler between its topics, so each one needs scrolling.
QString WriteBook(const QString& folder, const QString& name, const QString& marker) {
    QString html = QStringLiteral("<html><head><title>%1</title></head><body>"
                                  "<h1><a name=\"contents\"></a>%1</h1>")
                       .arg(marker);
    for (int topic : {36, 8, 9, 10}) {
        for (int i = 0; i < 60; ++i)
            html += QStringLiteral("<p>filler %1</p>").arg(i);
        html += QStringLiteral("<h2><a name=\"topic%1\"></a>Topic %1</h2>").arg(topic);
    }
    for (int i = 0; i < 60; ++i)
        html += QStringLiteral("<p>tail %1</p>").arg(i);
    html += QStringLiteral("</body></html>");
    QFile f(QDir(folder).filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(html.toUtf8());
    return f.fileName();
}

} // namespace

class TestHelp : public QObject {
    Q_OBJECT

    TFakePlatformScope Fake;
    QList<TShownBox> Boxes;

private slots:
    void init() {
        Fake.Reset();
        Fake->OnMessageBox = [this](const QString& text, const QString& caption, int flags) {
            Boxes << TShownBox{text, caption, flags};
            return int(idOk);
        };
        Boxes.clear();
    }
    void cleanup() { delete CurrentHelpWindow(); }

    void names_data() {
        QTest::addColumn<QString>("helpFile");
        QTest::addColumn<QString>("book");
        QTest::newRow("bare") << "Velmo.hlp"
                              << "Velmo.html";
        QTest::newRow("upper case") << "Velmo.HLP"
                                    << "Velmo.html";
        QTest::newRow("with folder") << "/opt/velmo/Velmo.hlp"
                                     << "Velmo.html";
        QTest::newRow("no extension") << "Velmo"
                                      << "Velmo.html";
    }
    void names() {
        QFETCH(QString, helpFile);
        QFETCH(QString, book);
        QCOMPARE(HelpBookName(helpFile), book);
        QCOMPARE(HelpTopicAnchor(36), QStringLiteral("topic36"));
        QCOMPARE(HelpTopicAnchor(8), QStringLiteral("topic8"));
    }

    void searchOrder() {
        const QStringList folders = HelpSearchFolders();
        QCOMPARE(folders.size(), 2);
        QCOMPARE(folders.at(0), QCoreApplication::applicationDirPath());
        QCOMPARE(folders.at(1), QStringLiteral(VELMO_DATA_DIR));

        TSandbox box;
        const QString beside = box.makeDir("beside"), data = box.makeDir("data");
        Fake->HelpFolders = {beside, data};
        QVERIFY(FindHelpBook("Velmo.hlp").isEmpty());
        const QString inData = WriteBook(data, "Velmo.html", "data");
        QCOMPARE(FindHelpBook("Velmo.hlp"), inData);
        const QString inBeside = WriteBook(beside, "Velmo.html", "beside");
        QCOMPARE(FindHelpBook("Velmo.hlp"), inBeside);
        // A folder named like the book is no book.
        Fake->HelpFolders = {box.makeDir("odd"), data};
        box.makeDir("odd/Velmo.html");
        QCOMPARE(FindHelpBook("Velmo.hlp"), inData);
    }

    // The shipped book: found beside the executable, with every topic the
    // program asks for, and no link into nowhere.
    void shippedBook() {
        const QString path = FindHelpBook(QStringLiteral("Velmo.hlp"));
        QCOMPARE(QFileInfo(path).absolutePath(),
                 QFileInfo(QCoreApplication::applicationDirPath()).absoluteFilePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(f.readAll());
        QTextDocument doc;
        doc.setHtml(html);
        const QStringList anchors = AnchorsOf(&doc);
        for (const char* a : {"contents", "topic36", "topic8", "topic9", "topic10"})
            QVERIFY2(anchors.contains(QLatin1String(a)), a);
        const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
        for (auto it = link.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            QVERIFY2(anchors.contains(target), qPrintable(target));
        }
        // Each topic is about its options page.
        QVERIFY(AnchorBlock(&doc, "topic36").text().contains(QStringLiteral("表示")));
        QVERIFY(AnchorBlock(&doc, "topic8").text().contains(QStringLiteral("動作")));
        QVERIFY(AnchorBlock(&doc, "topic9").text().contains(QStringLiteral("フォルダ")));
        QVERIFY(AnchorBlock(&doc, "topic10").text().contains(QStringLiteral("その他")));
        for (const char* word : {"F1", "F5", "Ctrl+X", "Ctrl+T", "Ctrl+B", ".spi", "Velmo.ini",
                                 "Susie.conf", "/usr/lib/susie", "ごみ箱", "移動モード"})
            QVERIFY2(html.contains(QString::fromUtf8(word)), word);
    }

    void contextShowsTopic_data() {
        QTest::addColumn<int>("context");
        QTest::addColumn<QString>("heading");
        QTest::newRow("display") << 36 << QStringLiteral("表示");
        QTest::newRow("action") << 8 << QStringLiteral("動作");
        QTest::newRow("folder") << 9 << QStringLiteral("フォルダ");
        QTest::newRow("other") << 10 << QStringLiteral("その他");
    }
    void contextShowsTopic() {
        QFETCH(int, context);
        QFETCH(QString, heading);
        QVERIFY(HelpContext(QStringLiteral("Velmo.hlp"), context));
        THelpWindow* window = CurrentHelpWindow();
        QVERIFY(window && window->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTextBrowser* browser = window->findChild<QTextBrowser*>("txbHelp");
        QCOMPARE(browser->source().fragment(), HelpTopicAnchor(context));
        QCOMPARE(window->windowTitle(), QStringLiteral("ヴェルモ！ ヘルプ"));
        const QTextBlock block = AnchorBlock(browser->document(), HelpTopicAnchor(context));
        QVERIFY(block.text().contains(heading));
        QTRY_VERIFY_WITH_TIMEOUT(ShownNearTop(browser, block), 3000);
        QVERIFY(browser->verticalScrollBar()->value() > 0);
        QVERIFY(Boxes.isEmpty());
    }

    // One window, reused: contents after a topic goes back to the top; an
    // unknown context number shows the contents too.
    void oneWindowContentsAndUnknownTopic() {
        TSandbox box;
        WriteBook(box.path(), "Velmo.html", "sandbox book");
        Fake->HelpFolders = {box.path()};
        QVERIFY(HelpContext("Velmo.hlp", 9));
        THelpWindow* window = CurrentHelpWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTextBrowser* browser = window->txbHelp;
        QTRY_VERIFY_WITH_TIMEOUT(browser->verticalScrollBar()->value() > 0, 3000);
        QVERIFY(ShownNearTop(browser, AnchorBlock(browser->document(), "topic9")));
        QVERIFY(!window->cmdBack->isEnabled()); // nothing was seen before

        window->hide();
        QVERIFY(HelpContents("Velmo.hlp"));
        QCOMPARE(CurrentHelpWindow(), window);
        QVERIFY(window->isVisible());
        QCOMPARE(browser->verticalScrollBar()->value(), 0);
        QVERIFY(browser->source().fragment().isEmpty());
        QCOMPARE(window->windowTitle(), QStringLiteral("sandbox book"));

        QVERIFY(HelpContext("Velmo.hlp", 10));
        QTRY_VERIFY_WITH_TIMEOUT(ShownNearTop(browser, AnchorBlock(browser->document(), "topic10")),
                                 3000);
        QVERIFY(WinHelp("Velmo.hlp", HELP_CONTEXT, 99));
        QCOMPARE(browser->verticalScrollBar()->value(), 0);
        QVERIFY(WinHelp("Velmo.hlp", HELP_CONTEXT, 36));
        QCOMPARE(browser->source().fragment(), QStringLiteral("topic36"));
        QVERIFY(WinHelp("Velmo.hlp", HELP_CONTENTS, 0));
        QCOMPARE(browser->verticalScrollBar()->value(), 0);

        // Back goes to the topic seen before.
        QVERIFY(window->cmdBack->isEnabled());
        window->cmdBack->click();
        QCOMPARE(browser->source().fragment(), QStringLiteral("topic36"));
        QVERIFY(Boxes.isEmpty());
    }

    void missingBook() {
        TSandbox box;
        const QString beside = box.makeDir("bin"), data = box.makeDir("share");
        Fake->HelpFolders = {beside, data};
        QVERIFY(!HelpContents("Velmo.hlp"));
        QVERIFY(!HelpContext("Velmo.hlp", 8));
        QCOMPARE(Boxes.size(), 2);
        for (const TShownBox& shown : Boxes) {
            QCOMPARE(shown.Caption, QStringLiteral("ヘルプ"));
            QCOMPARE(shown.Flags, int(mbWarningOk));
            QVERIFY(shown.Text.contains(QDir(beside).filePath("Velmo.html")));
            QVERIFY(shown.Text.contains(QDir(data).filePath("Velmo.html")));
        }
        QVERIFY(!CurrentHelpWindow() || !CurrentHelpWindow()->isVisible());
    }

    // Help asked for from a modal dialog is usable beside it, and outlives it.
    void helpFromModalDialog() {
        QWidget main;
        main.show();
        auto* options = new QDialog(&main);
        QPointer<THelpWindow> seenWindow;
        QWidget* seenParent = nullptr;
        QTimer::singleShot(0, options, [&] {
            QVERIFY(HelpContext("Velmo.hlp", 9));
            seenWindow = CurrentHelpWindow();
            seenParent = seenWindow->parentWidget();
            QVERIFY(seenWindow->isVisible());
            options->accept();
        });
        options->exec();
        QCOMPARE(seenParent, options);
        delete options; // released by its opener right after
        QVERIFY2(seenWindow, "the help window went away with the dialog");
        QCOMPARE(CurrentHelpWindow(), seenWindow.data());
        QVERIFY(seenWindow->parentWidget() == nullptr);
        QVERIFY(seenWindow->isVisible());
        QVERIFY(!seenWindow->testAttribute(Qt::WA_QuitOnClose));
    }
};

QTEST_MAIN(TestHelp)
#include "test_help.moc"
