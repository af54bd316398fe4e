// The plug-in manager of the window: made while the window's components are
// loaded, before the creation handler, so the file list sees its extensions.
#include "app/Main.h"

#include "app/MainRules.h"
#include "platform/MessageBox.h"
#include "settings/Settings.h"
#include "spi/SPIs.h"

#include <QApplication>
#include <QLabel>
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
        SPIs1->OnNotice = [this](const QString& text) { ShowPluginNotice(text); };
        SPIs1->OnPluginsAdded = [this] { PluginsAdded(); };
        SPIs1->Loaded();
    });
}

void TfrmVelmo::ShowPluginNotice(const QString& text) {
    // At the status bar's right end, beside the panels, for a while.
    auto* notice = staMain->findChild<QLabel*>(QStringLiteral("staNotice"));
    if (!notice) {
        notice = new QLabel(staMain);
        notice->setObjectName(QStringLiteral("staNotice"));
        notice->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        notice->setTextFormat(Qt::PlainText);
        staMain->addPermanentWidget(notice);
        auto* timer = new QTimer(notice);
        timer->setObjectName(QStringLiteral("staNoticeTimer"));
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, notice, &QLabel::hide);
    }
    notice->setText(text);
    notice->show();
    // Work under way ("…") stays until the notice of its end replaces it.
    auto* timer = notice->findChild<QTimer*>();
    if (text.endsWith(QChar(0x2026)))
        timer->stop();
    else
        timer->start(15000);
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
