#pragma once

#include "platform/PlatformServices.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

// The system's services with whatever a test replaces: each member left
// empty keeps the real behaviour. A fresh fake per test means nothing a
// test set can leak into the next.
class TFakePlatform : public TLinuxPlatform {
public:
    QString MountTable;                                // a file standing for the mount table
    int DriveTimeout = 0;                              // milliseconds; 0 keeps the real one
    std::function<void(const QString&)> OnProbeDrive;  // may block: a dead server
    std::function<bool(const QString&)> OnMediumReady; // the start folder's medium
    std::function<int(TFileOpStep, const QString&)> OnFileOpFault;
    std::function<int(const QString&)> OnWatchFault; // on the watcher's thread
    int ProgressDelay = -1;                          // never a progress dialog
    std::function<void(const QString& caption, const QString& text)> OnFileOpError;
    std::function<int(const QString& text, const QString& caption, int flags)> OnMessageBox;
    std::function<void(const QString&)> OnErrorBox;
    std::function<void(const QString&)> OnOpenUrl;
    QStringList HelpFolders;

    QString MountTableFile() const override {
        return MountTable.isEmpty() ? TLinuxPlatform::MountTableFile() : MountTable;
    }
    int DriveCheckTimeout() const override {
        return DriveTimeout > 0 ? DriveTimeout : TLinuxPlatform::DriveCheckTimeout();
    }
    void ProbeDrive(const QString& root) override {
        if (OnProbeDrive)
            OnProbeDrive(root);
    }
    bool MediumReady(const QString& path) override {
        return OnMediumReady ? OnMediumReady(path) : TLinuxPlatform::MediumReady(path);
    }
    int WatchFault(const QString& folder) override {
        return OnWatchFault ? OnWatchFault(folder) : 0;
    }
    int FileOpFault(TFileOpStep step, const QString& path) override {
        return OnFileOpFault ? OnFileOpFault(step, path) : 0;
    }
    int FileOpProgressDelay() const override { return ProgressDelay; }
    void FileOpErrorBox(QWidget* owner, const QString& caption, const QString& text) override {
        if (OnFileOpError)
            OnFileOpError(caption, text);
        else
            TLinuxPlatform::FileOpErrorBox(owner, caption, text);
    }
    int MessageBox(const QString& text, const QString& caption, int flags) override {
        return OnMessageBox ? OnMessageBox(text, caption, flags)
                            : TLinuxPlatform::MessageBox(text, caption, flags);
    }
    void ErrorBox(const QString& text) override {
        if (OnErrorBox)
            OnErrorBox(text);
        else
            TLinuxPlatform::ErrorBox(text);
    }
    void OpenUrl(const QString& url) override {
        if (OnOpenUrl)
            OnOpenUrl(url);
        else
            TLinuxPlatform::OpenUrl(url);
    }
    QStringList HelpSearchFolders() const override {
        return HelpFolders.isEmpty() ? TLinuxPlatform::HelpSearchFolders() : HelpFolders;
    }
};

// A fake installed for the life of the object. A test class holds one and
// calls Reset() in init(), so every test starts from the system's behaviour.
class TFakePlatformScope {
public:
    TFakePlatformScope() { Reset(); }
    TFakePlatform* operator->() const { return Fake.get(); }
    const std::shared_ptr<TFakePlatform>& Services() const { return Fake; }
    // A fresh fake; work still running on the old one (a stuck drive check)
    // keeps it alive and untouched.
    void Reset() {
        Scope.reset();
        Fake = std::make_shared<TFakePlatform>();
        Scope.emplace(Fake);
    }

private:
    std::shared_ptr<TFakePlatform> Fake;
    std::optional<TPlatformScope> Scope;
};
