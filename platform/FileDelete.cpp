#include "platform/FileDelete.h"
#include "platform/FileName.h"

#include <QFile>

#include <unistd.h>

bool DeleteFileForGood(const QString& path) {
    return ::unlink(PathToBytes(path).constData()) == 0;
}
