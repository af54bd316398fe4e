#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A private folder for one test, removed afterwards.
class TSandbox {
public:
    TSandbox();
    bool isValid() const { return Dir.isValid(); }
    QString path() const { return Dir.path(); }
    QString filePath(const QString& name) const { return Dir.filePath(name); }
    // Makes a subfolder (and its parents) and returns its path.
    QString makeDir(const QString& name) const;
    // Writes bytes to a file and returns its path.
    QString writeFile(const QString& name, const QByteArray& bytes) const;

private:
    QTemporaryDir Dir;
};

// Writes a generated picture (a colour gradient) in the format the file
// extension names (jpg, bmp, ico, png, ...) and returns its path.
QString MakePicture(const QString& path, int width, int height, QColor base = QColor(200, 40, 120));

// The folder of the build tree that holds the program and the bundled plug-ins.
QString BuildDir();

// One line of a mount table in the kernel's mountinfo format.
QByteArray MountLine(int id, const QString& point, const QByteArray& type,
                     const QByteArray& source);

class QTreeWidgetItem;
// The captions of a tree node's children, in order.
QStringList Captions(const QTreeWidgetItem* node);
