// Velmo: one copy at a time; a second start brings the first copy's window
// to the front and ends.
#include "app/Main.h"
#include "platform/SingleInstance.h"
#include "spi/SPIBmp.h"
#include "toolkit/Fonts.h"
#include "toolkit/Picture.h"
#include "app/Pictures.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmo"));

    TSingleInstance instance;
    if (!instance.TryBecomePrimary())
        return 0;

    InstallFontSubstitutions();
    QApplication::setWindowIcon(ProgramIcon());
    RegisterBuiltInGraphics();
    RegisterSPIBitmap();

    int result = 0;
    {
        TfrmVelmo window;
        QObject::connect(&instance, &TSingleInstance::ActivateRequested, &window,
                         [&window] { BringWindowToFront(&window); });
        window.show();
        result = app.exec();
    }
    UnregisterSPIBitmap();
    return result;
}
