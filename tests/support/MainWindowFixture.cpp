#include "support/MainWindowFixture.h"

#include "platform/MessageBox.h"
#include "settings/Settings.h"
#include "spi/SPIBmp.h"
#include "toolkit/Fonts.h"
#include "toolkit/Picture.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>

TMainWindowFixture::TMainWindowFixture() {
    Pics = Sandbox.makeDir(QStringLiteral("pics"));
    qputenv("VELMO_INI_DIR", QFile::encodeName(Sandbox.makeDir(QStringLiteral("ini"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(Sandbox.makeDir(QStringLiteral("data"))));
    InstallFontSubstitutions();
    RegisterBuiltInGraphics();
    RegisterSPIBitmap();
    IniRec = TIniRec();
    for (TOutFolderRec& slot : OutFolders)
        slot = TOutFolderRec();
    Fake->OnMessageBox = [this](const QString& text, const QString& caption, int flags) {
        Asked << caption + QLatin1Char('|') + QString::number(flags) + QLatin1Char('|') + text;
        if (flags == 48)
            return 1;
        return Answers.isEmpty() ? 6 : Answers.takeFirst();
    };
    Fake->OnErrorBox = [this](const QString& text) { Errors << text; };
    Fake->OnFileOpError = [this](const QString&, const QString& text) { FileErrors << text; };
}

TMainWindowFixture::~TMainWindowFixture() {
    Form.reset();
}

void TMainWindowFixture::WriteIni(const QString& text) {
    QFile f(IniFileName());
    if (f.open(QIODevice::WriteOnly))
        f.write(text.toUtf8());
}

TfrmVelmo& TMainWindowFixture::Open() {
    Form = std::make_unique<TfrmVelmo>();
    Form->resize(800, 600);
    Form->show();
    QCoreApplication::processEvents();
    return *Form;
}

bool TMainWindowFixture::Close() {
    QCloseEvent event;
    QCoreApplication::sendEvent(Form.get(), &event);
    return event.isAccepted();
}

void TMainWindowFixture::MakePictures(int n, const QString& ext) {
    for (int i = 0; i < n; ++i)
        MakePicture(Pics + QStringLiteral("/p%1.").arg(i, 2, 10, QLatin1Char('0')) + ext, 40 + i,
                    30 + i);
}

QStringList TMainWindowFixture::ListItems() const {
    QStringList items;
    for (int i = 0; i < Form->lstFile->count(); ++i)
        items << Form->lstFile->item(i)->text();
    return items;
}

QString TMainWindowFixture::Panel(int i) const {
    return Form->staPanels[size_t(i)]->text();
}
