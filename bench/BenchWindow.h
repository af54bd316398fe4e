#pragma once
// The main window of the benchmarks that drive the program itself: made
// offscreen at 800 x 600 over a Velmo.ini of its own, with the built-in
// formats and the plug-in bitmap registered and error boxes printed.
#include "app/Main.h"
#include "bench/BenchSupport.h"
#include "settings/Settings.h"
#include "spi/SPIBmp.h"
#include "toolkit/Fonts.h"
#include "toolkit/Picture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <memory>

// Before the application object is made: offscreen, and the settings file
// in work/ini.
inline void PrepareBenchProgram(const QString& work) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VELMO_INI_DIR", QFile::encodeName(work + QStringLiteral("/ini")));
    QDir().mkpath(work + QStringLiteral("/ini"));
}

// Made after the application object; at its end the settings file it wrote
// and the registration go.
class TBenchWindow {
public:
    TBenchWindow() {
        InstallFontSubstitutions();
        RegisterBuiltInGraphics();
        RegisterSPIBitmap();
        Form = std::make_unique<TfrmVelmo>();
        Form->resize(800, 600);
        Form->show();
        QCoreApplication::processEvents();
    }
    ~TBenchWindow() {
        Form.reset();
        QFile::remove(IniFileName());
        UnregisterSPIBitmap();
    }
    TfrmVelmo& form() { return *Form; }

private:
    const TPlatformScope Platform{std::make_shared<TBenchPlatform>()};
    std::unique_ptr<TfrmVelmo> Form;
};
