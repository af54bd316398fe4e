#pragma once

#include <QString>

// The shared message box: the caller puts the text into MsgText and the style
// into MsgFlags; ShowMessageBox stores the caption, shows the box modal to the
// whole application and stores the answer (1 OK, 6 Yes, 7 No) into MsgResult.
extern QString MsgText;
extern int MsgFlags;
extern QString MsgCaption;
extern int MsgResult;

void ShowMessageBox(const QString& caption);

// Captions of the two kinds of message.
inline const QString kWarningCaption = QStringLiteral("ヴェルモ！ - 警告");
inline const QString kConfirmCaption = QStringLiteral("ヴェルモ！ - 確認");
