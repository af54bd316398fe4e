#pragma once

#include <QString>
#include <exception>
#include <functional>

class QWidget;

// Message box styles and answers, as the program's callers give and test them.
enum : int {
    mbWarningOk = 48,        // exclamation icon, OK
    mbQuestionYesNo = 36,    // question icon, Yes and No, Yes is the default
    mbQuestionYesNoNo = 292, // question icon, Yes and No, No is the default
    // As 292, with "すべてはい" and "すべていいえ": the answer for the rest of
    // a run of questions.
    mbQuestionYesNoNoAll = 292 | 0x10000
};
enum : int { idOk = 1, idYes = 6, idNo = 7, idYesAll = 10, idNoAll = 11 };

// Shows an application-modal message box (through the platform services, so
// a test answers it) and returns 1, 6 or 7, or 10 and 11 for the answers for
// all. A line break in the text is one carriage return.
int ApplicationMessageBox(const QString& text, const QString& caption, int flags);

// What a box looks like: its icon and its buttons.
enum TBoxKind {
    bkWarning,      // exclamation icon, OK
    bkError,        // error icon, OK
    bkQuestionYes,  // question icon, Yes and No, Yes is the default
    bkQuestionNo,   // question icon, Yes and No, No is the default
    bkQuestionNoAll // as bkQuestionNo, with Yes to all and No to all
};

// The one place that builds the program's message boxes: application-modal
// over `owner` (or the active window), with the normal pointer even while the
// caller holds the hourglass, Japanese buttons, carriage returns shown as
// line breaks. Returns idOk, idYes or idNo (or idYesAll, idNoAll). Without a window system the text
// goes to the standard error and the box answers its default.
int RunMessageBox(QWidget* owner, const QString& caption, const QString& text, TBoxKind kind,
                  const QString& objectName = QString());

// The default error box: the message with "." appended when its last
// character sorts after "." in byte order, caption "ヴェルモ！", error icon.
QString ErrorBoxText(const QString& message);
void ShowErrorBox(const QString& message);
// The caption of the program's own boxes.
QString ApplicationTitle();

// Shows an exception that escaped an event handler (EAbort stays silent).
void HandleException(std::exception_ptr error);

// Runs an event handler body, catching whatever escapes it and showing it in
// the error box so no exception unwinds through the event loop.
template <typename F> void Guarded(F&& body) {
    try {
        body();
    } catch (...) {
        HandleException(std::current_exception());
    }
}
