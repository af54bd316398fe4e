#include "toolkit/MessageBox.h"

#include "toolkit/Exceptions.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {
TMessageBoxHook g_messageHook;
TErrorBoxHook g_errorHook;

const QString kApplicationTitle = QStringLiteral("ヴェルモ！");
} // namespace

void SetMessageBoxHook(TMessageBoxHook hook) { g_messageHook = std::move(hook); }
void SetErrorBoxHook(TErrorBoxHook hook) { g_errorHook = std::move(hook); }

int ApplicationMessageBox(const QString& text, const QString& caption, int flags) {
    if (g_messageHook)
        return g_messageHook(text, caption, flags);

    QMessageBox box(QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(caption);
    // A carriage return breaks the line on the Windows desktop; Qt wants a newline.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QChar('\r'), QChar('\n'));
    box.setText(shown);
    if (flags == mbWarningOk) {
        box.setIcon(QMessageBox::Warning);
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return idOk;
    }
    box.setIcon(QMessageBox::Question);
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    box.setDefaultButton(flags == mbQuestionYesNoNo ? no : yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? idYes : idNo;
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
    const QString text = ErrorBoxText(message);
    if (g_errorHook) {
        g_errorHook(text);
        return;
    }
    QMessageBox box(QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(kApplicationTitle);
    box.setIcon(QMessageBox::Critical);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
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
