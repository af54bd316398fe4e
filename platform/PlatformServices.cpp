#include "platform/PlatformServices.h"

#include "platform/Common.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>

#include <mutex>

namespace {
std::mutex g_lock;

std::shared_ptr<TPlatformServices>& Installed() {
    static auto* services =
        new std::shared_ptr<TPlatformServices>(std::make_shared<TLinuxPlatform>());
    return *services;
}
} // namespace

std::shared_ptr<TPlatformServices> Platform() {
    std::lock_guard<std::mutex> guard(g_lock);
    return Installed();
}

TPlatformScope::TPlatformScope(std::shared_ptr<TPlatformServices> services) {
    std::lock_guard<std::mutex> guard(g_lock);
    Previous = std::exchange(Installed(), std::move(services));
}

TPlatformScope::~TPlatformScope() {
    std::lock_guard<std::mutex> guard(g_lock);
    Installed() = std::move(Previous);
}

QString TLinuxPlatform::MountTableFile() const {
    return QStringLiteral("/proc/self/mountinfo");
}

int TLinuxPlatform::DriveCheckTimeout() const {
    return 2000;
}

void TLinuxPlatform::ProbeDrive(const QString&) {}

// The drive part of a start folder is the mount that holds it, so a folder
// that is gone from a drive that is there stays the start folder, as a
// missing folder on a present drive letter would.
bool TLinuxPlatform::MediumReady(const QString& path) {
    const QString drive = DrivePart(path);
    return IsDriveReady(drive.isEmpty() ? path : drive);
}

int TLinuxPlatform::WatchFault(const QString&) {
    return 0;
}

int TLinuxPlatform::FileOpFault(TFileOpStep, const QString&) {
    return 0;
}

int TLinuxPlatform::FileOpProgressDelay() const {
    return 500;
}

void TLinuxPlatform::FileOpErrorBox(QWidget* owner, const QString& caption, const QString& text) {
    RunMessageBox(owner, caption, text, bkWarning, QStringLiteral("FileOperationError"));
}

int TLinuxPlatform::MessageBox(const QString& text, const QString& caption, int flags) {
    const TBoxKind kind = flags == mbWarningOk            ? bkWarning
                          : flags == mbQuestionYesNoNo    ? bkQuestionNo
                          : flags == mbQuestionYesNoNoAll ? bkQuestionNoAll
                                                          : bkQuestionYes;
    return RunMessageBox(nullptr, caption, text, kind);
}

void TLinuxPlatform::ErrorBox(const QString& text) {
    RunMessageBox(nullptr, ApplicationTitle(), text, bkError);
}

void TLinuxPlatform::OpenUrl(const QString& url) {
    QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

QStringList TLinuxPlatform::HelpSearchFolders() const {
    return {QCoreApplication::applicationDirPath(), QStringLiteral(VELMO_DATA_DIR)};
}
