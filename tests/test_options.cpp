// The options dialog and the output folder entry dialog, driven through their
// own widgets: what they show, what they refuse, and what reaches the
// settings and the main window when they close.
#include "dialogs/FolderBrowser.h"
#include "dialogs/Input.h"
#include "dialogs/InputHandOver.h"
#include "dialogs/Option.h"
#include "platform/FileName.h"
#include "settings/Settings.h"
#include "shelltree/ShellCtrls.h"
#include "support/MainWindowFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

#include <sys/stat.h>

namespace {
// Runs fn on the modal dialog of type T as soon as one is shown; deleting the
// watch it returns ends it early.
template <typename T> QPointer<QTimer> OnModal(std::function<void(T*)> fn) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, fn, tries = 0]() mutable {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog && ++tries < 500)
            return;
        timer->deleteLater();
        timer->stop();
        if (dialog)
            fn(dialog);
    });
    timer->start(10);
    return timer;
}
} // namespace

class TestOptions : public QObject {
    Q_OBJECT
    TMainWindowFixture* F = nullptr; // message boxes answered and recorded
    int Page = 0;
    int Applied = 0;
    QString Home;

    // In the picker: notes which of the computer, the network and the trash
    // grey OK, then clicks the node captioned `caption` below the home
    // folder ("/": the root drive) and closes with OK or Cancel.
    void Pick(TfrmFolderBrowser* b, const QString& caption, bool ok, QStringList& greyed) {
        QTreeWidgetItem* root = b->stvFolder->topLevelItem(0);
        greyed << b->lblTitle->text() << QString::number(b->cmdOk->isEnabled());
        for (int i : {1, 2, 3}) {
            b->stvFolder->setCurrentItem(root->child(i));
            if (!b->cmdOk->isEnabled())
                greyed << root->child(i)->text(0);
        }
        QTreeWidgetItem* parent = root->child(caption == "/" ? 1 : 0);
        parent->setExpanded(true);
        const QString shown = caption == "/" ? "ローカル ディスク (/)" : caption;
        for (int i = 0; i < parent->childCount(); ++i) {
            if (parent->child(i)->text(0) != shown)
                continue;
            // A click selects on the folder's label, as a person clicks.
            const QPoint place = b->stvFolder->LabelRect(parent->child(i)).center();
            QTest::mouseClick(b->stvFolder->viewport(), Qt::LeftButton, {}, place);
        }
        (ok ? b->cmdOk : b->cmdCancel)->click();
        if (b->isVisible()) // nothing chosen: the test fails, never hangs
            b->reject();
    }

    std::unique_ptr<TfrmOption> Make() {
        return std::make_unique<TfrmOption>(nullptr, Page, [this] { ++Applied; });
    }

private slots:
    void init() {
        F = new TMainWindowFixture;
        // The desktop's tree over a home of the test's own and one disk.
        Home = F->Sandbox.makeDir("home");
        qputenv("HOME", QFile::encodeName(Home));
        F->Fake->MountTable =
            F->Sandbox.writeFile("mountinfo", MountLine(1, "/", "ext4", "/dev/sda1"));
        Page = 0;
        Applied = 0;
        InputOK = false;
    }
    void cleanup() { delete F; }

    // Tab memory across openings, "設定(&S)" on the folder tab, the new slot
    // on its button at once, and nothing written before exit.
    void openedFromTheMainWindow() {
        const QString out = F->Sandbox.makeDir("out");
        TfrmVelmo& w = F->Open();
        // Until a slot is set, the button pane tells how to set one.
        const auto* hint = w.pnlOutFolButton->findChild<QLabel*>("lblOutFolHint");
        QVERIFY(hint && !hint->isHidden());
        QList<int> shown;
        OnModal<TfrmOption>([&](TfrmOption* d) {
            shown << d->pgcOption->currentIndex();
            d->SetCell(1, 4, "Four");
            d->SetCell(2, 4, out);
            d->pgcOption->setCurrentIndex(3);
            d->cmdOk->click();
        });
        w.actOption->trigger();
        QCOMPARE(w.spbNo[3]->text(), QString("Four"));
        QVERIFY(hint->isHidden());
        QVERIFY(w.spbNo[3]->isEnabled());
        QCOMPARE(w.spbNo[3]->toolTip(), out);
        QVERIFY(!QFile::exists(IniFileName()));
        for (QAction* open : {w.actOption, w.pmnOutFolButtonOption, w.actOption}) {
            OnModal<TfrmOption>([&](TfrmOption* d) {
                shown << d->pgcOption->currentIndex();
                d->cmdCancel->click();
            });
            open->trigger();
        }
        QCOMPARE(shown, QList<int>({0, 3, 2, 2}));
    }

    // Greyed boxes keep their ticks; the radio buttons switch them.
    void enablingRules() {
        for (bool on : {false, true}) {
            IniRec.DispSize = IniRec.StartMode = on;
            IniRec.Proportional = 1;
            auto d = Make();
            QVERIFY(d->chkProportional->isChecked());
            for (bool now : {on, !on}) {
                QCOMPARE(d->rbtStretch->isChecked() && d->rbtSpecify->isChecked(), now);
                for (QWidget* w : {(QWidget*)d->chkProportional, (QWidget*)d->chkZoom,
                                   (QWidget*)d->edtSpecifyFolder, (QWidget*)d->btnRefer})
                    QCOMPARE(w->isEnabled(), now);
                (now ? d->rbtOriginal : d->rbtStretch)->click();
                (now ? d->rbtLastFolder : d->rbtSpecify)->click();
            }
            // The first clash choice says what it does under the overwrite
            // box; the tab under the mouse is marked.
            d->chkOverWrite->setChecked(on);
            QCOMPARE(d->rbtClashAsk->text(), on ? "確認する" : "上書きする");
            d->show();
            QTabBar* tabs = d->pgcOption->tabBar();
            QMouseEvent move(QEvent::MouseMove, tabs->tabRect(2).center(), QCursor::pos(),
                             Qt::NoButton, {}, {});
            QApplication::sendEvent(tabs, &move);
            QTRY_COMPARE(tabs->tabTextColor(2), tabs->palette().color(QPalette::Highlight));
        }
    }

    void closing_data() {
        QTest::addColumn<bool>("specify");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("warnings");
        const QString missing = QDir::tempPath() + "/velmo-no-such-folder";
        QTest::newRow("empty: two warnings") << true << "" << false << 2;
        QTest::newRow("missing: the second only") << true << missing << false << 1;
        QTest::newRow("existing folder") << true << QDir::tempPath() << false << 0;
        QTest::newRow("last folder: text kept") << false << missing << false << 0;
        QTest::newRow("cancel applies unchecked") << true << "" << true << 0;
    }
    void closing() {
        QFETCH(bool, specify);
        QFETCH(QString, folder);
        QFETCH(bool, cancel);
        QFETCH(int, warnings);
        IniRec.Move = 7;
        Page = 2;
        auto d = Make();
        d->show();
        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
        (specify ? d->rbtSpecify : d->rbtLastFolder)->click();
        d->edtSpecifyFolder->setText(folder);
        (cancel ? d->cmdCancel : d->cmdOk)->click();
        const QStringList expected =
            QStringList{"ヴェルモ！ - 警告|48|フォルダを指定してください。",
                        "ヴェルモ！ - 警告|48|フォルダが存在しません。"}
                .mid(2 - warnings);
        QCOMPARE(F->Asked, expected);
        QCOMPARE(d->isVisible(), warnings > 0);
        if (warnings > 0) {
            // The field is shown and takes the keys, whatever page was on.
            QCOMPARE(d->pgcOption->currentWidget(), d->tbsDisp);
            QTRY_COMPARE(QApplication::focusWidget(), d->edtSpecifyFolder);
            QCOMPARE(Applied, 0);
            return;
        }
        QCOMPARE(Applied, 1);
        QCOMPARE(IniRec.StartMode, specify ? 1 : 0);
        QCOMPARE(IniRec.SpecifyFolder, folder);
        QCOMPARE(IniRec.Move, 0);
    }

    // The row buttons follow the selected row and the keyboard; Up moves a
    // row's contents, a legacy path intact, and the numbers stay; a filled
    // row asks before its entry opens, No opening nothing. OK writes back.
    void grid_data() {
        QTest::addColumn<int>("filled");  // rows 1..filled: titles A, B, ...
        QTest::addColumn<int>("select");  // 0: as opened
        QTest::addColumn<QString>("act"); // u: Up, v: down key; n: 登録 answered No;
                                          // c: row 6's number clicked, its border dragged
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("enabled"); // clear, up, down
        QTest::addColumn<QString>("titles");  // of the first four slots after OK
        // clang-format off
        QTest::newRow("rows 1..4 filled") << 4 << 0 << "" << 5 << "011" << "ABCD";
        QTest::newRow("all filled") << 20 << 0 << "" << 1 << "101" << "ABCD";
        QTest::newRow("first row full") << 10 << 0 << "" << 11 << "011" << "ABCD";
        QTest::newRow("last row") << 20 << 20 << "" << 20 << "110" << "ABCD";
        QTest::newRow("empty row") << 4 << 7 << "" << 7 << "011" << "ABCD";
        QTest::newRow("up twice") << 3 << 3 << "uu" << 1 << "101" << "CAB";
        QTest::newRow("up twice, down") << 3 << 3 << "uuv" << 2 << "111" << "CAB";
        QTest::newRow("no to the question") << 2 << 1 << "n" << 1 << "101" << "AB";
        QTest::newRow("slot number clicked") << 4 << 0 << "c" << 6 << "011" << "ABCD";
        // clang-format on
    }
    void grid() {
        QFETCH(int, filled);
        QFETCH(int, select);
        QFETCH(QString, act);
        QFETCH(int, row);
        QFETCH(QString, enabled);
        QFETCH(QString, titles);
        const auto path = [](QChar t) { return "/" + QByteArray(1, t.toLatin1()) + "\xff"; };
        for (int n = 0; n < filled; ++n)
            OutFolders[n] = {QString(QChar('A' + n)), PathFromBytes(path(QChar('A' + n)))};
        auto d = Make();
        d->show();
        if (select)
            d->SelectRow(select);
        for (QChar a : act) {
            if (a == 'u')
                d->btnUp->click();
            else if (a == 'v')
                QTest::keyClick(d->sgdFolder, Qt::Key_Down);
        }
        if (act == "c") {
            QWidget* no = d->sgdFolder->verticalHeader()->viewport();
            QTest::mouseClick(no, Qt::LeftButton, {}, QPoint(8, 5 * 18 + 9));
            const int edge = no->width() - 2;
            for (auto [type, x] : {std::pair{QEvent::MouseButtonPress, edge},
                                   {QEvent::MouseMove, 40},
                                   {QEvent::MouseButtonRelease, 40}}) {
                QMouseEvent e(type, QPoint(x, 9), QCursor::pos(), Qt::LeftButton, Qt::LeftButton,
                              {});
                QApplication::sendEvent(no, &e);
            }
            QCOMPARE(d->sgdFolder->verticalHeader()->width(), 41);
        }
        if (act == "n") {
            bool opened = false;
            const QPointer<QTimer> watch = OnModal<TfrmInput>([&](TfrmInput* in) {
                opened = true;
                in->btnCancel->click();
            });
            F->Answers << 7;
            d->btnInput->click();
            QCOMPARE(F->Asked,
                     QStringList("ヴェルモ！ - 確認|36|既に入力されています。\r修正しますか？"));
            QVERIFY(!opened); // the modal loop would have run by now
            delete watch.data();
        }
        QCOMPARE(d->SelectedRow(), row);
        const auto on = [](QPushButton* b) { return QString(b->isEnabled() ? "1" : "0"); };
        QCOMPARE(on(d->btnClear) + on(d->btnUp) + on(d->btnDown), enabled);
        QVERIFY(d->btnInput->isEnabled());
        QCOMPARE(d->Cell(0, 1), QString("0"));
        d->cmdOk->click();
        QByteArray got, expected;
        for (int n = 0; n < 4; ++n) {
            got += OutFolders[n].Title.toLatin1() + PathToBytes(OutFolders[n].Path) + "|";
            expected += n < titles.size() ? titles[n].toLatin1() + path(titles[n]) + "|" : "|";
        }
        QCOMPARE(got, expected);
    }

    // A Ctrl+click keeps the one selected row (the twenty rows leave no room
    // beside them);
    // Tab leaves the grid; Ctrl+Tab and Ctrl+Shift+Tab turn the pages from
    // inside the grid and from the buttons below.
    void gridKeepsItsRowAndLetsTabGo() {
        Page = 2;
        auto d = Make();
        d->show();
        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
        QTableWidget* grid = d->sgdFolder;
        d->SelectRow(2);
        const QPoint row2 = grid->visualRect(grid->model()->index(1, 1)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, row2);
        QCOMPARE(grid->selectionModel()->selectedRows(), {grid->model()->index(1, 0)});
        QTest::keyClick(grid, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != grid);
        QList<int> pages;
        for (QWidget* from : {(QWidget*)grid, (QWidget*)d->cmdOk, (QWidget*)d->cmdOk}) {
            from->setFocus();
            const bool back = pages.size() == 2;
            QTest::keyClick(from, back ? Qt::Key_Backtab : Qt::Key_Tab,
                            Qt::ControlModifier | (back ? Qt::ShiftModifier : Qt::NoModifier));
            pages << d->pgcOption->currentIndex();
        }
        QCOMPARE(pages, QList<int>({3, 0, 3}));
    }

    // "-----" both ways; the preview follows every keystroke; the empty path
    // refused on OK only; the close box is Cancel whatever came before.
    void entryDialog_data() {
        QTest::addColumn<QString>("close"); // ok, cancel, box
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("stays");
        QTest::addColumn<bool>("ok");
        // clang-format off
        QTest::newRow("ok") << "ok" << "/out" << false << true;
        QTest::newRow("ok without folder") << "ok" << "" << true << false;
        QTest::newRow("cancel without folder") << "cancel" << "" << false << false;
        QTest::newRow("close box after an OK") << "box" << "" << false << false;
        // clang-format on
    }
    void entryDialog() {
        QFETCH(QString, close);
        QFETCH(QString, path);
        QFETCH(bool, stays);
        QFETCH(bool, ok);
        InputOK = true; // an earlier use ended with OK
        InputTitle = NoTitle;
        InputPath = path;
        TfrmInput d(nullptr);
        d.show();
        QCOMPARE(d.edtTitle->text() + d.spbSample->text(), QString());
        QTest::keyClicks(d.edtTitle, "a&");
        QCOMPARE(d.spbSample->text(), QString("a&"));
        d.edtTitle->clear();
        if (close == "box")
            d.close();
        else
            (close == "ok" ? d.btnOK : d.btnCancel)->click();
        QCOMPARE(d.isVisible(), stays);
        QCOMPARE(F->Asked.size(), int(stays));
        if (!stays) {
            QCOMPARE(InputOK, ok);
            QCOMPARE(InputTitle, NoTitle);
        }
    }

    // The desktop's tree as the picker: it opens at the desktop, chooses
    // only file-system folders and gives back a legacy name's bytes. A chosen
    // folder names an untitled slot in its readable form, a typed title
    // stays, a drive's root gives none, Cancel changes nothing.
    void picker_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("pick"); // a folder in the home folder; "/" the root drive
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("title");
        // clang-format off
        QTest::newRow("folder") << "" << QByteArray("out 1") << true << "out 1";
        QTest::newRow("typed title") << "Mine" << QByteArray("out 1") << true << "Mine";
        QTest::newRow("legacy name") << "" << QByteArray("\x8f\x6f\x97\xcd") << true << "出力";
        QTest::newRow("root drive") << "" << QByteArray("/") << true << "";
        QTest::newRow("cancel") << "" << QByteArray("out 1") << false << "";
        // clang-format on
    }
    void picker() {
        QFETCH(QString, typed);
        QFETCH(QByteArray, pick);
        QFETCH(bool, ok);
        QFETCH(QString, title);
        const QByteArray chosen = pick == "/" ? pick : PathToBytes(Home) + '/' + pick;
        if (pick != "/")
            QCOMPARE(::mkdir(chosen.constData(), 0755), 0);
        const QString caption = pick == "/" ? "/" : DisplayPath(PathFromBytes(pick));
        InputTitle.clear();
        InputPath.clear();
        TfrmInput d(nullptr);
        d.edtTitle->setText(typed);
        QStringList greyed;
        OnModal<TfrmFolderBrowser>([&](TfrmFolderBrowser* b) { Pick(b, caption, ok, greyed); });
        d.bthRefer->click();
        QCOMPARE(greyed, QStringList({"フォルダを選択してください。", "1", "コンピュータ",
                                      "ネットワーク", "ごみ箱"}));
        QCOMPARE(d.edtTitle->text() + "|" + d.spbSample->text(), title + "|" + title);
        d.btnOK->click();
        QCOMPARE(PathToBytes(InputPath), ok ? chosen : QByteArray());
        if (title != "出力")
            return;
        // The start folder field too keeps the bytes behind its readable text.
        auto o = Make();
        o->rbtSpecify->click();
        QCOMPARE(::mkdir(PathToBytes(Home) + "/\x8f\x6f", 0755), 0);
        OnModal<TfrmFolderBrowser>([&](TfrmFolderBrowser* b) { Pick(b, "出", true, greyed); });
        o->btnRefer->click();
        QCOMPARE(o->edtSpecifyFolder->text(), Home + "/出");
        o->cmdOk->click();
        QCOMPARE(PathToBytes(IniRec.SpecifyFolder), PathToBytes(Home) + "/\x8f\x6f");
    }

    // The picker opens on the folder it is given and makes a new folder
    // under the selected one, its name open for editing in place.
    void pickerMakesFolder() {
        const QString start = Home + "/out 2";
        QVERIFY(QDir().mkpath(start + "/新しいフォルダ"));
        TfrmFolderBrowser b(nullptr, "t", start);
        b.show();
        QCOMPARE(b.SelectedPath(), start);
        b.cmdNewFolder->click();
        auto* editor = b.stvFolder->findChild<QLineEdit*>();
        QVERIFY(editor && QFileInfo(start + "/新しいフォルダ (2)").isDir());
        editor->setText("仕分け");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(b.SelectedPath(), start + "/仕分け");
    }
};

QTEST_MAIN(TestOptions)
#include "test_options.moc"
