// Velmo: one copy at a time; a second start hands its argument to the first
// copy, brings that copy's window to the front and ends.
#include "app/Main.h"
#include "app/Preloader.h"
#include "platform/PlatformServices.h"
#include "platform/SingleInstance.h"
#include "spi/SPIBmp.h"
#include "spi/SPIWine.h"
#include "toolkit/Fonts.h"
#include "toolkit/IconSet.h"
#include "toolkit/Picture.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[]) {
    KeepPictureMemory();
    // What the program asks of the system: the mount table, the drives,
    // the desktop, the boxes a person answers.
    const TPlatformScope platform(std::make_shared<TLinuxPlatform>());
    // Without a bus of the user's, the toolkit's first D-Bus call would start
    // a bus daemon that outlives the program; nothing here needs one.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        !QFileInfo::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus")))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmo"));

    // argc and argv without the toolkit's own options.
    std::optional<QString> argument;
    if (argc > 1)
        argument = AbsoluteStartArgument(QByteArray(argv[1]));
    TSingleInstance instance;
    if (!instance.TryBecomePrimary(argument))
        return 0;

    InstallFontSubstitutions();
    // Velmo speaks Japanese whatever the session's language: so do the
    // toolkit's own texts (the folder picker's labels, the boxes' buttons).
    QTranslator toolkitTexts;
    if (toolkitTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&toolkitTexts);
    QApplication::setWindowIcon(ProgramIcon());
    RegisterBuiltInGraphics();
    RegisterSPIBitmap();
    // The first picture is decoded while the window is made.
    if (argument)
        GuessStartPicture(*argument);

    int result = 0;
    {
        TfrmVelmo window;
        QObject::connect(&instance, &TSingleInstance::OpenRequested, &window,
                         [&window](const QString& path) { window.OpenStartArgument(path); });
        QObject::connect(&instance, &TSingleInstance::ActivateRequested, &window,
                         [&window] { BringWindowToFront(&window); });
        instance.Serve();
        window.show();
        result = app.exec();
        // A Windows plug-in still at work keeps nothing from ending.
        WinePlugins().EndCalls();
    }
    WinePlugins().StopHosts();
    UnregisterSPIBitmap();
    return result;
}
