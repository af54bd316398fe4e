#include "toolkit/Busy.h"

#include <QApplication>
#include <QCursor>

TBusyCursor::TBusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
TBusyCursor::~TBusyCursor() {
    QApplication::restoreOverrideCursor();
}

void ProcessMessages() {
    QCoreApplication::processEvents();
}
