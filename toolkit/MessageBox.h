#pragma once

#include <QString>
#include <functional>
#include <exception>

class QWidget;

// Message box styles and answers, as the program's callers give and test them.
enum : int {
    mbWarningOk = 48,       // exclamation icon, OK
    mbQuestionYesNo = 36,   // question icon, Yes and No, Yes is the default
    mbQuestionYesNoNo = 292 // question icon, Yes and No, No is the default
};
enum : int { idOk = 1, idYes = 6, idNo = 7 };

// Shows an application-modal message box and returns 1, 6 or 7. A line break
// in the text is one carriage return.
int ApplicationMessageBox(const QString& text, const QString& caption, int flags);

// Tests replace the real box with an answering function; pass nullptr to restore.
using TMessageBoxHook = std::function<int(const QString& text, const QString& caption, int flags)>;
void SetMessageBoxHook(TMessageBoxHook hook);

// The default error box: the message with "." appended when its last
// character sorts after "." in byte order, caption "ヴェルモ！", error icon.
QString ErrorBoxText(const QString& message);
void ShowErrorBox(const QString& message);

// Shows an exception that escaped an event handler (EAbort stays silent).
void HandleException(std::exception_ptr error);

// Tests see what the error box would show instead of a modal window.
using TErrorBoxHook = std::function<void(const QString& text)>;
void SetErrorBoxHook(TErrorBoxHook hook);

// Runs an event handler body, catching whatever escapes it and showing it in
// the error box so no exception unwinds through the event loop.
template <typename F> void Guarded(F&& body) {
    try {
        body();
    } catch (...) {
        HandleException(std::current_exception());
    }
}
