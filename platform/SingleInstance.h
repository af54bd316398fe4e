#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QWidget;

// The per-user name under which the running copy answers: "hPrevCalendar"
// followed by the user id.
QString DefaultInstanceKey();

// One copy of the program at a time. The first copy listens on a local
// socket; a later start connects, asks the first copy to bring its window to
// the front and ends. A socket left behind by a copy that crashed is removed
// and the name taken over.
class TSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit TSingleInstance(const QString& key = DefaultInstanceKey(), QObject* parent = nullptr);
    ~TSingleInstance() override;

    // True when this copy is now the one that runs (it listens for later
    // starts); false when another copy answered and was asked to come to the
    // front, so the caller ends.
    bool TryBecomePrimary();

    QString Key() const { return FKey; }
    bool IsPrimary() const { return FServer != nullptr; }

signals:
    // A later start asked this copy to restore, show and raise its window.
    void ActivateRequested();

private:
    bool AskRunningCopy();
    bool Listen();
    void ServerNewConnection();

    QString FKey;
    QLocalServer* FServer = nullptr;
};

// Restores a window from minimised, shows it, raises it and gives it focus.
void BringWindowToFront(QWidget* window);
