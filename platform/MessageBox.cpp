#include "platform/MessageBox.h"

#include "platform/Exceptions.h"
#include "platform/PlatformServices.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

int ApplicationMessageBox(const QString& text, const QString& caption, int flags) {
    return Platform()->MessageBox(text, caption, flags);
}

int RunMessageBox(QWidget* owner, const QString& caption, const QString& text, TBoxKind kind,
                  const QString& objectName) {
    const bool question = kind != bkWarning && kind != bkError;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
        return !question ? idOk : kind == bkQuestionYes ? idYes : idNo;
    }
    // A carriage return breaks the line on the Windows desktop; Qt wants a newline.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QChar('\r'), QChar('\n'));

    QApplication::setOverrideCursor(Qt::ArrowCursor);
    QMessageBox box(owner ? owner : QApplication::activeWindow());
    if (!objectName.isEmpty())
        box.setObjectName(objectName);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(caption);
    box.setText(shown);
    QPushButton* yes = nullptr;
    QPushButton* yesAll = nullptr;
    QPushButton* noAll = nullptr;
    if (question) {
        box.setIcon(QMessageBox::Question);
        yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
        if (kind == bkQuestionNoAll)
            yesAll = box.addButton(QStringLiteral("すべてはい"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
        if (kind == bkQuestionNoAll)
            noAll = box.addButton(QStringLiteral("すべていいえ"), QMessageBox::NoRole);
        box.setDefaultButton(kind == bkQuestionYes ? yes : no);
        box.setEscapeButton(no);
    } else {
        box.setIcon(kind == bkError ? QMessageBox::Critical : QMessageBox::Warning);
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.exec();
    QApplication::restoreOverrideCursor();
    if (!question)
        return idOk;
    const auto* clicked = box.clickedButton();
    return clicked == yes      ? idYes
           : clicked == yesAll ? idYesAll
           : clicked == noAll  ? idNoAll
                               : idNo;
}

QString ApplicationTitle() {
    return QStringLiteral("ヴェルモ！");
}

QString ErrorBoxText(const QString& message) {
    if (message.isEmpty())
        return message;
    // Byte order of the last character: in UTF-8 every character outside
    // ASCII sorts after '.', as every double-byte character did in Shift-JIS.
    const QChar last = message.back();
    if (last.unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

void ShowErrorBox(const QString& message) {
    Platform()->ErrorBox(ErrorBoxText(message));
}

void HandleException(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        // Stopped on purpose: nothing to tell.
    } catch (const Exception& e) {
        ShowErrorBox(e.Message);
    } catch (const std::bad_alloc&) {
        ShowErrorBox(QStringLiteral("メモリが不足しています"));
    } catch (const std::exception& e) {
        ShowErrorBox(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowErrorBox(QStringLiteral("予期しないエラーが発生しました"));
    }
}
