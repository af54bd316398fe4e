// The plug-in manager of the window: made while the window's components are
// loaded, before the creation handler, so the file list sees its extensions.
#include "app/Main.h"

#include "app/MainRules.h"
#include "settings/Settings.h"
#include "spi/SPIs.h"
#include "toolkit/MessageBox.h"

#include <QApplication>
#include <QStatusBar>
#include <QTimer>

void TfrmVelmo::CreatePlugins() {
    Guarded([this] {
        SPIs1 = new TSPIs(this);
        SPIs1->setObjectName(QStringLiteral("SPIs1"));
        SPIs1->GraphicPreview = false;
        SPIs1->SearchOptions =
            TSPISearchOptions{spsSusieDir, spsAppDir, spsSystemDir, spsWindowsDir};
        SPIs1->OnSearch = [this](TSPIs* sender, TSPI* plugin, bool& accept) {
            SPIs1Search(sender, plugin, accept);
        };
        SPIs1->OnPictureRegister = [this](TSPIs* sender, TInSPI* plugin, const QString& extension,
                                          const QString& description, TGraphicClass& graphicClass) {
            SPIs1PictureRegister(sender, plugin, extension, description, graphicClass);
        };
        // Windows plug-ins: what Wine is doing, in the status bar; those
        // that Wine had first to be asked about join the list once known.
        SPIs1->OnNotice = [this](const QString& text) { staMain->showMessage(text, 15000); };
        SPIs1->OnPluginsAdded = [this] { PluginsAdded(); };
        SPIs1->Loaded();
    });
}

void TfrmVelmo::PluginsAdded() {
    if (Busy() || QApplication::activeModalWidget()) {
        QTimer::singleShot(100, this, [this] { PluginsAdded(); });
        return;
    }
    BuildDispExt();
    Command([this] { OpenFolder(IniRec.CurrentPath); });
}

void TfrmVelmo::SPIs1Search(TSPIs*, TSPI* plugin, bool& accept) {
    // Only import plug-ins are kept.
    accept = dynamic_cast<TInSPI*>(plugin) != nullptr;
}

void TfrmVelmo::SPIs1PictureRegister(TSPIs*, TInSPI*, const QString& extension, const QString&,
                                     TGraphicClass& graphicClass) {
    // JPEG files stay with the built-in decoder; a catch-all pattern
    // registers nothing.
    const QString lower = LowerAZ(extension);
    if (lower == QLatin1String("jpg") || lower == QLatin1String("jpeg") ||
        extension == QLatin1String("*"))
        graphicClass = nullptr;
}
