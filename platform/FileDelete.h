#pragma once

#include <QString>

// Removes a file for good (no trash). A failure is silent; the answer only
// tells tests whether the file went.
bool DeleteFileForGood(const QString& path);
