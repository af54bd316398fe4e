#include "dialogs/SharedMessage.h"

#include "platform/MessageBox.h"

QString MsgText;
int MsgFlags = 0;
QString MsgCaption;
int MsgResult = 0;

void ShowMessageBox(const QString& caption) {
    MsgCaption = caption;
    MsgResult = ApplicationMessageBox(MsgText, MsgCaption, MsgFlags);
}
