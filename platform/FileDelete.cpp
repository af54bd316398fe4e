#include "platform/FileDelete.h"

#include <QFile>

#include <unistd.h>

bool DeleteFileForGood(const QString& path) {
    return ::unlink(QFile::encodeName(path).constData()) == 0;
}
