#pragma once

#include "app/Main.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"

#include <QString>
#include <QStringList>
#include <memory>

// A main window made offscreen in a sandbox: its own Velmo.ini, a picture
// folder, message boxes and error boxes answered and recorded instead of
// shown, file operations without their dialogs.
class TMainWindowFixture {
public:
    TMainWindowFixture();
    ~TMainWindowFixture();

    // Writes Velmo.ini (the text as is) before the window is made.
    void WriteIni(const QString& text);
    // Makes the window (runs the creation handler) and shows it at 800 x 600.
    TfrmVelmo& Open();
    // Closes the window as the user would; false when the close was refused.
    bool Close();

    // Writes n small pictures p00.bmp .. into the picture folder.
    void MakePictures(int n, const QString& ext = QStringLiteral("bmp"));
    QStringList ListItems() const;
    QString Panel(int i) const;

    TFakePlatformScope Fake; // first made, last gone
    TSandbox Sandbox;
    QString Pics;
    std::unique_ptr<TfrmVelmo> Form;

    // Every message box shown: "caption|style|text", and the answers to give
    // in order (Yes when none is left).
    QStringList Asked;
    QList<int> Answers;
    QStringList Errors;     // error box texts
    QStringList FileErrors; // file service message texts
};
