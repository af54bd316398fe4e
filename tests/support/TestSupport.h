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

// Called first by a test that needs root: a mount namespace of its own (a
// full disk, a read-only filesystem, real tmpfs and bind mounts) or a file
// given away. True when this process is root, of the system or of a user
// namespace. Otherwise, where the kernel allows it, the test program runs this
// test function (this data row) again in a process of its own as root of a
// user namespace with a mount namespace of its own (unshare -r -m; with
// newuidmap and subordinate ids, other owners exist there too): its verdict
// becomes this test's, and false tells the caller to return at once. Where
// the kernel does not, the test skips, saying why.
bool RunsAsRoot();

// A file or folder that cannot be written while this lives, even by root: a
// read-only bind mount of it onto itself, in a mount namespace that the
// calling thread takes for its own. Ok is false where no mount namespace of
// its own can be had.
class TReadOnly {
public:
    explicit TReadOnly(const QString& path);
    ~TReadOnly();
    TReadOnly(const TReadOnly&) = delete;
    TReadOnly& operator=(const TReadOnly&) = delete;
    bool Ok = false;

private:
    QByteArray Path;
};
// Takes a private mount namespace for the calling thread: true when it may
// mount there.
bool TakePrivateMounts();
// Why a test that needs mounts of its own is skipped.
constexpr const char* NoPrivateMounts = "no mount namespace of its own here";

// The folder of the build tree that holds the program and the bundled plug-ins.
QString BuildDir();

// One line of a mount table in the kernel's mountinfo format.
QByteArray MountLine(int id, const QString& point, const QByteArray& type,
                     const QByteArray& source);

class QTreeWidgetItem;
// The captions of a tree node's children, in order.
QStringList Captions(const QTreeWidgetItem* node);
